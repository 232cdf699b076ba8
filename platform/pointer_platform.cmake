# Pointer event backends that talk to the system: a uinput virtual pointer
# (libevdev) and XTest on the X server named by DISPLAY (over XCB).
pkg_check_modules(ZORVAN_XCB_INPUT REQUIRED IMPORTED_TARGET GLOBAL xcb xcb-xtest xcb-randr)
add_library(zorvan_platform_input STATIC
  ${CMAKE_CURRENT_LIST_DIR}/pointer_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/randr_screens.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uinput_sink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xcb_connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xtest_sink.cpp
)
add_library(zorvan::platform_input ALIAS zorvan_platform_input)
target_include_directories(zorvan_platform_input PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_platform_input
  PUBLIC zorvan::pointer zorvan::screens
  PRIVATE PkgConfig::LIBEVDEV PkgConfig::ZORVAN_XCB_INPUT)

# Choosing the board's screen among the desktop's screens: plain C++.
add_library(zorvan_screens STATIC ${CMAKE_CURRENT_LIST_DIR}/screen_layout.cpp)
add_library(zorvan::screens ALIAS zorvan_screens)
target_include_directories(zorvan_screens PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_screens PUBLIC zorvan::pointer zorvan::calibration)
