# Installs the serial library into a fresh prefix and builds a small program
# of another project against it, once through find_package and once through
# pkg-config, then runs both.
# Inputs: BUILD_DIR, CONSUMER_DIR, WORK_DIR, CXX.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${command}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect_consumer_output out how)
  if(NOT out MATCHES "consumer: opened=0 speed=0 name=null")
    message(FATAL_ERROR "${how}: unexpected output: ${out}")
  endif()
  message(STATUS "${how}: ${out}")
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component serial --prefix ${prefix})

# find_package
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/cmake -G Ninja
  -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake)
run(${WORK_DIR}/cmake/serial_consumer)
expect_consumer_output("${out}" "find_package")

# pkg-config, with nothing of the build tree in sight
file(GLOB_RECURSE pc_files ${prefix}/*/zorvan-serial.pc)
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs zorvan-serial)
string(STRIP "${out}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX} ${CONSUMER_DIR}/main.cpp ${flags} -o ${WORK_DIR}/pkg_consumer)
run(${WORK_DIR}/pkg_consumer)
expect_consumer_output("${out}" "pkg-config")
