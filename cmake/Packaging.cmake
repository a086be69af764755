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
# A stripped binary still carries the compilers' .comment notes; Debian's
# own packages drop them.
foreach(program quillmark quillmark-capture-helper)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QUILLMARK_HOME}/${program}\"
            COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endforeach()

set(QUILLMARK_APP_ID io.github.quillmark.quillmark)
install(FILES ${QUILLMARK_PACKAGING}/${QUILLMARK_APP_ID}.desktop
    DESTINATION usr/share/applications)
install(FILES ${QUILLMARK_PACKAGING}/${QUILLMARK_APP_ID}.metainfo.xml
    DESTINATION usr/share/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/quillmark.png
    DESTINATION usr/share/icons/hicolor/64x64/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/quillmark.svg
    DESTINATION usr/share/icons/hicolor/scalable/apps)

# The manual page and the Debian changelog go in compressed as Debian wants
# them: at the highest level and without a time stamp.
configure_file(${QUILLMARK_PACKAGING}/quillmark.1.in packaging/quillmark.1 @ONLY)
set(quillmark_compressed)
foreach(source ${CMAKE_CURRENT_BINARY_DIR}/packaging/quillmark.1 ${QUILLMARK_PACKAGING}/changelog)
    cmake_path(GET source FILENAME name)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}.gz)
    add_custom_command(OUTPUT ${output} COMMAND gzip -9nc ${source} > ${output} DEPENDS ${source})
    list(APPEND quillmark_compressed ${output})
endforeach()
add_custom_target(quillmark_compressed_docs ALL DEPENDS ${quillmark_compressed})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/quillmark.1.gz
    DESTINATION usr/share/man/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION usr/share/doc/quillmark RENAME changelog.Debian.gz)
install(FILES ${QUILLMARK_PACKAGING}/copyright DESTINATION usr/share/doc/quillmark)
install(FILES ${QUILLMARK_PACKAGING}/lintian-overrides
    DESTINATION usr/share/lintian/overrides RENAME quillmark)

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
