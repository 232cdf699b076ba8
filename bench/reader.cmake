# Reader latency and loss through a pseudo-terminal at full line rate.
add_executable(zorvan-bench-reader-latency ${CMAKE_CURRENT_LIST_DIR}/reader_latency.cpp)
target_link_libraries(zorvan-bench-reader-latency PRIVATE zorvan::driver)
