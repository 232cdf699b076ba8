zorvan_add_test(packet_decoder_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/packet_decoder_test.cpp
  LIBS zorvan::protocol
  LABELS driver)
