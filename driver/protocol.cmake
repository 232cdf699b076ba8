# Board packet protocol: plain C++, no Qt, no system calls.
add_library(zorvan_protocol STATIC
  ${CMAKE_CURRENT_LIST_DIR}/packet_decoder.cpp)
add_library(zorvan::protocol ALIAS zorvan_protocol)
target_include_directories(zorvan_protocol PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_protocol PUBLIC zorvan::calibration zorvan::pointer)
# The soft-key test compares floats bit for bit.
zorvan_exact_float(zorvan_protocol)

# The whole road from packets to pointer events: decoder, mapping, gestures.
add_library(zorvan_board_input STATIC
  ${CMAKE_CURRENT_LIST_DIR}/board_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stored_calibration_loader.cpp)
add_library(zorvan::board_input ALIAS zorvan_board_input)
target_link_libraries(zorvan_board_input PUBLIC zorvan::protocol zorvan::driver)
