# Linux stand-ins for the calibration side: the settings store, the main
# display, the alert panel and the translations (Qt), and process launch (POSIX).
add_library(zorvan_platform_qt STATIC
  ${CMAKE_CURRENT_LIST_DIR}/qsettings_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/machine_wide_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_file_update.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_main_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_screens.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_alert_presenter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_translations.cpp)
add_library(zorvan::platform_qt ALIAS zorvan_platform_qt)
set_target_properties(zorvan_platform_qt PROPERTIES AUTOMOC ON)
target_include_directories(zorvan_platform_qt PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_platform_qt PUBLIC zorvan::calibration zorvan::calivo
  zorvan::screens Qt6::Core Qt6::Gui Qt6::Widgets)

add_library(zorvan_platform_posix STATIC
  ${CMAKE_CURRENT_LIST_DIR}/posix_process_control.cpp)
add_library(zorvan::platform_posix ALIAS zorvan_platform_posix)
target_include_directories(zorvan_platform_posix PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_platform_posix PUBLIC zorvan::calivo)
