# Reader loop, board serial link, framer, simulator script and the shell.
zorvan_add_test(packet_framer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/packet_framer_test.cpp
  LIBS zorvan::driver LABELS driver)
zorvan_add_test(board_serial_link_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/board_serial_link_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/board_open_test.cpp
  LIBS zorvan::driver LABELS driver)
zorvan_add_test(reader_loop_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reader_loop_test.cpp
  LIBS zorvan::driver zorvan::board_input LABELS driver threaded)
zorvan_add_test(board_sim_script_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/board_sim_script_test.cpp
  LIBS zorvan_board_sim_script LABELS driver)
zorvan_add_test(zorvan_with_board_sim_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/zorvan_with_board_sim_test.cpp
  LIBS zorvan::driver LABELS driver)
add_dependencies(zorvan_with_board_sim_test zorvan zorvan-board-sim)
zorvan_add_test(hot_plug_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hot_plug_test.cpp
  LIBS zorvan::driver LABELS driver threaded)
# The reader following real udev events in a umockdev testbed.
pkg_check_modules(ZORVAN_UMOCKDEV REQUIRED IMPORTED_TARGET umockdev-1.0)
zorvan_add_test(udev_hot_plug_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/udev_hot_plug_test.cpp
  LIBS zorvan::driver zorvan::test_support PkgConfig::ZORVAN_UMOCKDEV LABELS driver)
add_dependencies(udev_hot_plug_test zorvan)
