# The zorvan executable: the Qt shell around the driver.
set(CMAKE_AUTOMOC ON)
add_executable(zorvan
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/board_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/quit_signals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screen_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status_follower.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status_panel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/status_words.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_icon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_system.cpp)
target_include_directories(zorvan PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(zorvan PRIVATE ZORVAN_VERSION="${PROJECT_VERSION}")
target_link_libraries(zorvan PRIVATE zorvan::driver zorvan::board_input zorvan::calivo
  zorvan::platform_qt zorvan::platform_run_loop zorvan::platform_posix zorvan::platform_input zorvan::platform_display
  Qt6::Widgets)
install(TARGETS zorvan RUNTIME DESTINATION lib/zorvan)
