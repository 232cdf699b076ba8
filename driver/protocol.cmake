# Board packet protocol: plain C++, no Qt, no system calls.
add_library(zorvan_protocol INTERFACE)
add_library(zorvan::protocol ALIAS zorvan_protocol)
target_include_directories(zorvan_protocol INTERFACE ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_protocol INTERFACE zorvan::calibration zorvan::pointer)
