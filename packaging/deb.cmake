# The Debian packages, built by CPack (scripts/package.sh), one per install
# component:
#   zorvan                the driver, Calivo.app, their desktop entries, the udev
#                         rule and modules-load.d entry (component Unspecified:
#                         every install rule that names no component)
#   zorvan-serial         the command zorvan-serial (component serial-tool)
#   libzorvan-serial-dev  headers, static library, CMake package and
#                         pkg-config file (component serial)
# The board simulator (component board-sim) goes in none of them.
#
# The library is linked statically: it is young and its interface still
# grows, so it makes no ABI promise (a shared library would need its own
# libzorvan-serialN package, a SONAME kept stable and a symbols file).
# dpkg-shlibdeps computes the binaries' library dependencies; what they load
# at run time (Qt's Wayland plugin) and what the maintainer scripts call is
# added by hand.
set(zorvan_deb_components Unspecified serial-tool serial)
set(zorvan_deb_packages zorvan zorvan-serial libzorvan-serial-dev)

configure_file(${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog.in
  ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9 -n -c ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
    > ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(zorvan_deb_changelog ALL
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
# Every package carries the licence and the changelog in its own doc folder.
foreach(component package IN ZIP_LISTS zorvan_deb_components zorvan_deb_packages)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/debian/copyright
    ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Zorvan developers")
set(CPACK_PACKAGE_CONTACT "Zorvan developers <zorvan-devel@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The rule, modules-load.d and autostart folders are absolute: staged under
# the package root, never written on the machine that builds the package.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_COMPONENTS_ALL ${zorvan_deb_components})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE zorvan)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each description is one string: its first line is the summary. (A CMake
# list here would lose its semicolons, which are part of the text.)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME zorvan)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_DEPENDS "qt6-wayland, udev, kmod")
set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION [=[driver for interactive whiteboards on a CP210x serial bridge
Zorvan reads an interactive whiteboard (touch frame or electromagnetic pen)
behind a Silicon Labs CP210x USB-to-UART bridge and turns its touches into
pointer input on X11 and Wayland. It starts at login; Calivo.app calibrates
the board. The package also installs the udev rule that names the board
and gives the user at the seat access to it and to uinput.]=])
# The autostart entry lies in /etc: a local edit survives an upgrade.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles "${ZORVAN_AUTOSTART_DIR}/zorvan.desktop\n")
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles)

set(CPACK_DEBIAN_SERIAL-TOOL_PACKAGE_NAME zorvan-serial)
set(CPACK_DEBIAN_SERIAL-TOOL_PACKAGE_SECTION comm)
# Before 0.2.0 the command came in the one zorvan package: taking the file
# over from it needs both fields, or dpkg refuses the upgrade.
set(CPACK_DEBIAN_SERIAL-TOOL_PACKAGE_BREAKS "zorvan (<< 0.2.0)")
set(CPACK_DEBIAN_SERIAL-TOOL_PACKAGE_REPLACES "zorvan (<< 0.2.0)")
set(CPACK_DEBIAN_SERIAL-TOOL_DESCRIPTION [=[list serial ports, watch them come and go, talk to one
zorvan-serial lists the serial ports udev knows, with their USB ids, and
can watch them arrive and leave; it reads from a port with a count, a stop
character or a timeout, and connects the terminal to a port at any bit
rate. It is the command-line client of the Zorvan serial library.]=])

set(CPACK_DEBIAN_SERIAL_PACKAGE_NAME libzorvan-serial-dev)
set(CPACK_DEBIAN_SERIAL_PACKAGE_SECTION libdevel)
# The static library calls libudev: programs linking it need its library.
set(CPACK_DEBIAN_SERIAL_PACKAGE_DEPENDS "libudev-dev")
set(CPACK_DEBIAN_SERIAL_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_SERIAL_DESCRIPTION [=[serial-port library for C++20 (development files)
The Zorvan serial library opens terminal devices, edits and applies their
line settings (any bit rate), describes them as an options dictionary, reads
and writes with timeouts or in the background through a run loop, and lists
the ports udev knows. It needs no Qt.
.
This package holds the headers, the static library, the CMake package
(find_package(ZorvanSerial), target zorvan::serial) and the pkg-config file
(zorvan-serial).]=])
include(CPack)
