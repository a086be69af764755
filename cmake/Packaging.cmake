# Install rules and the Debian package. The program keeps a directory of its
# own, /opt/quillmark, because its dump directory lives beside its executable
# and it starts the capture helper from there. The program holds no
# capability and anyone may run it; the helper is the one file the package's
# postinst restricts to the quillmark group and gives CAP_NET_RAW.

set(QUILLMARK_HOME opt/quillmark)
set(QUILLMARK_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS quillmark RUNTIME DESTINATION ${QUILLMARK_HOME})
# Root alone may run it until postinst has handed it to the group.
install(TARGETS quillmark-capture-helper RUNTIME DESTINATION ${QUILLMARK_HOME}
    PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
# Owner-only until postinst opens it to the group.
install(DIRECTORY DESTINATION ${QUILLMARK_HOME}/dumps
    DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
install(CODE "file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/usr/bin\")")
install(CODE "file(CREATE_LINK /${QUILLMARK_HOME}/quillmark
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/usr/bin/quillmark\" SYMBOLIC)")
install(FILES ${QUILLMARK_PACKAGING}/quillmark.desktop
    DESTINATION usr/share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/quillmark.png
    DESTINATION usr/share/icons/hicolor/64x64/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillmark maintainers <maintainers@quillmark.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "process, endpoint and packet monitor")
# Lines under 80 characters, as Debian's control files want them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Quillmark shows which processes run, which IPv4 TCP and UDP endpoints"
    "each owns and which modules each has loaded, and captures the IP traffic"
    "of one local interface. Members of the quillmark group may capture,"
    "through a small helper program that alone holds CAP_NET_RAW.")
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The Qt and C++ libraries come from dpkg-shlibdeps; listed by hand are only
# what no linked library reveals: the tools the maintainer scripts call, and
# the font the main window's layout is made for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libcap2-bin, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${QUILLMARK_PACKAGING}/postinst ${QUILLMARK_PACKAGING}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

if(QUILLMARK_TESTS)
    add_subdirectory(tests/package)
endif()
