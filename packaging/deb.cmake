# The Debian package, built by CPack (scripts/package.sh): one package for the
# driver, the calibration tool and the simulator; the serial library's
# development files stay out of it. dpkg-shlibdeps computes the library
# dependencies from the binaries; what they load at run time (Qt's Wayland
# plugin) and what the maintainer scripts call is added by hand.
set(zorvan_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/zorvan)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog.in
  ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9 -n -c ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
    > ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(zorvan_deb_changelog ALL
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/debian/copyright
  ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz DESTINATION ${zorvan_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zorvan developers")
set(CPACK_PACKAGE_CONTACT "Zorvan developers <zorvan-devel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "driver for interactive whiteboards on a CP210x serial bridge")
set(CPACK_PACKAGE_DESCRIPTION
  "Zorvan reads an interactive whiteboard (touch frame or electromagnetic pen)\n"
  "behind a Silicon Labs CP210x USB-to-UART bridge and turns its touches into\n"
  "pointer input on X11 and Wayland. It starts at login; Calivo.app calibrates\n"
  "the board. The package also installs the udev rule that names the board\n"
  "and gives the user at the seat access to it and to uinput.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The rule, modules-load.d and autostart folders are absolute: staged under
# the package root, never written on the machine that builds the package.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland, udev, kmod")
# The autostart entry lies in /etc: a local edit survives an upgrade.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles "${ZORVAN_AUTOSTART_DIR}/zorvan.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
