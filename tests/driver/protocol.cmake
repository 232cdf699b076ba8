if(TARGET zorvan_protocol AND EXISTS ${PROJECT_SOURCE_DIR}/pointer/recording_sink.h)  # TEMP
zorvan_add_test(packet_decoder_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/packet_decoder_test.cpp
  LIBS zorvan::protocol
  LABELS driver)
endif()
