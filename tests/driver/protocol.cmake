zorvan_add_test(protocol_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/packet_decoder_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/board_input_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stored_calibration_loader_test.cpp
  LIBS zorvan::board_input zorvan::driver
  LABELS driver threaded)
