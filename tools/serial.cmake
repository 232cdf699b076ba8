# zorvan-serial: the serial library's command-line client, one file per subcommand.
add_executable(zorvan-serial
  ${CMAKE_CURRENT_LIST_DIR}/serial/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/hex_dump.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/json_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/line_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/lines_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/list_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/port_feeder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/port_summary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/read_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/standard_streams.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/term_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/term_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serial/usage.cpp)
target_compile_definitions(zorvan-serial PRIVATE ZORVAN_VERSION="${PROJECT_VERSION}")
target_include_directories(zorvan-serial PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan-serial PRIVATE zorvan::serial)
install(TARGETS zorvan-serial RUNTIME DESTINATION bin COMPONENT serial-tool)
