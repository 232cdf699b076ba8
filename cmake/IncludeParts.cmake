# Include every *.cmake file of the current source folder, in name order, so
# that each component of a shared folder keeps its build rules in its own file.
macro(zorvan_include_parts)
  file(GLOB _zorvan_parts CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cmake")
  list(SORT _zorvan_parts)
  foreach(_zorvan_part IN LISTS _zorvan_parts)
    include(${_zorvan_part})
  endforeach()
endmacro()
