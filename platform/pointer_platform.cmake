# Pointer event backends that talk to the system: a uinput virtual pointer
# (libevdev) and XTest on the X server named by DISPLAY.
add_library(zorvan_platform_input STATIC
  ${CMAKE_CURRENT_LIST_DIR}/pointer_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uinput_sink.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xtest_sink.cpp
)
add_library(zorvan::platform_input ALIAS zorvan_platform_input)
target_include_directories(zorvan_platform_input PUBLIC ${PROJECT_SOURCE_DIR})
if(NOT X11_Xrandr_FOUND)
  message(FATAL_ERROR "XRandR development files (libxrandr-dev) are missing")
endif()
target_link_libraries(zorvan_platform_input
  PUBLIC zorvan::pointer
  PRIVATE PkgConfig::LIBEVDEV X11::X11 X11::Xtst X11::Xrandr)
