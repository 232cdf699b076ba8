# zorvan-board-sim: the board on a pseudo-terminal. The script reader is a
# library of its own so that its tests need no terminal.
add_library(zorvan_board_sim_script STATIC ${CMAKE_CURRENT_LIST_DIR}/board_sim/sim_script.cpp)
target_include_directories(zorvan_board_sim_script PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(zorvan-board-sim ${CMAKE_CURRENT_LIST_DIR}/board_sim/main.cpp)
target_link_libraries(zorvan-board-sim PRIVATE zorvan_board_sim_script)
# A developer's tool, kept off the PATH of the machines the driver is
# installed on: only an explicit --component board-sim installs it.
install(TARGETS zorvan-board-sim RUNTIME DESTINATION bin COMPONENT board-sim EXCLUDE_FROM_ALL)
