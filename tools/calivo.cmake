# Calivo.app, the calibration tool. Its logic is plain C++ in a library of its
# own, so that tests need no display; the window, the board port, the signal
# relay and main are Qt. The executable carries the exact name the driver
# starts and recognises, and sits next to zorvan in the build and the install.
set(CALIVO_DIR ${CMAKE_CURRENT_LIST_DIR}/calivo)

add_library(zorvan_calivo_logic STATIC
  ${CALIVO_DIR}/calibration_file.cpp
  ${CALIVO_DIR}/calibration_record.cpp
  ${CALIVO_DIR}/calibration_session.cpp
  ${CALIVO_DIR}/dot_check.cpp
  ${CALIVO_DIR}/driver_link.cpp
  ${CALIVO_DIR}/driver_restart.cpp
  ${CALIVO_DIR}/press_collector.cpp
  ${CALIVO_DIR}/printable_text.cpp
  ${CALIVO_DIR}/stored_calibration.cpp)
add_library(zorvan::calivo_logic ALIAS zorvan_calivo_logic)
target_include_directories(zorvan_calivo_logic PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_calivo_logic PUBLIC zorvan::calibration zorvan::protocol)

add_executable(calivo
  ${CALIVO_DIR}/main.cpp
  ${CALIVO_DIR}/board_port.cpp
  ${CALIVO_DIR}/board_screen.cpp
  ${CALIVO_DIR}/calivo_app.cpp
  ${CALIVO_DIR}/calivo_window.cpp
  ${CALIVO_DIR}/command_line.cpp
  ${CALIVO_DIR}/display_check.cpp
  ${CALIVO_DIR}/import_file.cpp
  ${CALIVO_DIR}/posix_peer_processes.cpp
  ${CALIVO_DIR}/screen_number_view.cpp
  ${CALIVO_DIR}/screen_step.cpp
  ${CALIVO_DIR}/signal_relay.cpp)
set_target_properties(calivo PROPERTIES OUTPUT_NAME "Calivo.app" AUTOMOC ON)
target_include_directories(calivo PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(calivo PRIVATE ZORVAN_VERSION="${PROJECT_VERSION}")
target_link_libraries(calivo PRIVATE zorvan::calivo_logic zorvan::driver zorvan::platform_qt
  zorvan::platform_posix Qt6::Widgets PkgConfig::ZORVAN_XCB_INPUT)
qt_add_translations(calivo TS_FILES ${CALIVO_DIR}/translations/calivo_en.ts RESOURCE_PREFIX /i18n)
install(TARGETS calivo RUNTIME DESTINATION lib/zorvan)

