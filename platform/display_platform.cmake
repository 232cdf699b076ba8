# Probes for the window system the driver's window needs: whether the X
# server of DISPLAY or the Wayland compositor of WAYLAND_DISPLAY answers.
pkg_check_modules(ZORVAN_XCB_PROBE REQUIRED IMPORTED_TARGET xcb)
add_library(zorvan_platform_display STATIC
  ${CMAKE_CURRENT_LIST_DIR}/display_probe.cpp)
add_library(zorvan::platform_display ALIAS zorvan_platform_display)
target_include_directories(zorvan_platform_display PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_platform_display PRIVATE PkgConfig::ZORVAN_XCB_PROBE)
