add_executable(zorvan-bench-e2e ${CMAKE_CURRENT_LIST_DIR}/e2e_latency.cpp)
target_link_libraries(zorvan-bench-e2e PRIVATE zorvan::test_support)
target_include_directories(zorvan-bench-e2e PRIVATE ${PROJECT_SOURCE_DIR})
