# The serial library's RunLoop over Qt's event loop, for the applications; the
# library itself stays free of Qt.
add_library(zorvan_platform_run_loop STATIC ${CMAKE_CURRENT_LIST_DIR}/qt_run_loop.cpp)
add_library(zorvan::platform_run_loop ALIAS zorvan_platform_run_loop)
target_include_directories(zorvan_platform_run_loop PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_platform_run_loop PUBLIC zorvan::serial Qt6::Core)
