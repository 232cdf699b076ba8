# Throughput and round-trip latency of the serial library's reads and writes
# through a pseudo-terminal, beside plain read()/write() on the same pair.
add_executable(zorvan-bench-serial-io ${CMAKE_CURRENT_LIST_DIR}/serial_io_bench.cpp)
target_link_libraries(zorvan-bench-serial-io PRIVATE zorvan::serial)
