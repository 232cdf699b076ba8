# How long the clock()-based double-click window lasts in elapsed time.
add_executable(zorvan-bench-double-click-window ${CMAKE_CURRENT_LIST_DIR}/double_click_window.cpp)
target_link_libraries(zorvan-bench-double-click-window PRIVATE zorvan::pointer Threads::Threads)
