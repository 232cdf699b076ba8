# Controller, run flags, reader loop, board serial link and packet framing:
# plain C++ and POSIX, no Qt.
add_library(zorvan_driver STATIC
  ${CMAKE_CURRENT_LIST_DIR}/app_controller.cpp
  ${CMAKE_CURRENT_LIST_DIR}/board_open_failure.cpp
  ${CMAKE_CURRENT_LIST_DIR}/board_serial_link.cpp
  ${CMAKE_CURRENT_LIST_DIR}/board_status.cpp
  ${CMAKE_CURRENT_LIST_DIR}/device_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/errno_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hot_plug.cpp
  ${CMAKE_CURRENT_LIST_DIR}/logging_packet_handler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/packet_framer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_exit_watch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reader_wait.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reader_wake.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_flags.cpp)
add_library(zorvan::driver ALIAS zorvan_driver)
target_include_directories(zorvan_driver PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_driver PUBLIC Threads::Threads zorvan::serial)
