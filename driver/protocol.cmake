# Board packet protocol: plain C++, no Qt, no system calls.
if(EXISTS ${PROJECT_SOURCE_DIR}/pointer/mouse_primitives.cpp)  # TEMP until pointer lands
add_library(zorvan_protocol STATIC
  ${CMAKE_CURRENT_LIST_DIR}/packet_decoder.cpp)
add_library(zorvan::protocol ALIAS zorvan_protocol)
target_include_directories(zorvan_protocol PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_protocol PUBLIC zorvan::calibration zorvan::pointer)
endif()
