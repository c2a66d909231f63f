# The Debian package (scripts/package): `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr -DQM_BUILD_TREE_PARTS=OFF. Runtime dependencies are computed from
# the installed programs and libraries by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VENDOR "The Quillmark developers")
set(CPACK_PACKAGE_CONTACT "The Quillmark developers <packages@quillmark.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file encryption suite with keys, archives and scheduled tasks")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quillmark keeps a person's secret key files and key pairs, finds their\n"
    "encrypted files and archives and opens them, runs task lists that encrypt,\n"
    "wipe or mail files on a schedule, and writes self-decrypting files that\n"
    "open without the suite installed.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEB_COMPONENT_INSTALL OFF)

# Debian wants a compressed changelog beside the copyright file (changelog.gz: the package is its
# own upstream).
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${CMAKE_SOURCE_DIR}/packaging/debian/changelog ${changelog}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
    VERBATIM
    COMMENT "Compressing the Debian changelog")
add_custom_target(qm_debian_changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmark)

include(CPack)
