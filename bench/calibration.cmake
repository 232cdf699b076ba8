add_executable(wb_coordinate_bench ${CMAKE_CURRENT_LIST_DIR}/wb_coordinate_bench.cpp)
target_link_libraries(wb_coordinate_bench PRIVATE zorvan::calibration benchmark::benchmark)
