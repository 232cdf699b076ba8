# Installs the serial library's development files into a fresh prefix and
# builds the examples/ folder against them: through find_package (all three,
# warnings as errors) and through pkg-config (read_lines' Makefile).
# Inputs: BUILD_DIR, EXAMPLES_DIR, WORK_DIR, CXX.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${command}\n${out}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component serial --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${EXAMPLES_DIR} -B ${WORK_DIR}/cmake -G Ninja
  -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix}
  "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Wpedantic -Werror")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake)

file(GLOB_RECURSE pc_files ${prefix}/*/zorvan-serial.pc)
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
file(COPY ${EXAMPLES_DIR}/read_lines DESTINATION ${WORK_DIR}/make)
run(make -C ${WORK_DIR}/make/read_lines CXX=${CXX})
message(STATUS "the examples build against the installed library")
