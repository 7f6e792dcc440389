# `cpack -G DEB` in a build folder makes the Debian package from the install rules: the program
# under /usr, its dependencies worked out by dpkg-shlibdeps from the libraries it links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlewick)
set(CPACK_PACKAGE_VENDOR "The Brindlewick authors")
set(CPACK_PACKAGE_CONTACT "Brindlewick support <support@brindlewick.example>")
# No Homepage field until the project has a public home: an address that cannot resolve is worse
# than none.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut a rectangle out of a JPEG picture")
set(CPACK_PACKAGE_DESCRIPTION
    "Brindlewick shows a JPEG picture scaled to its window. Dragging a rectangle
with the mouse crops the picture to it, and the result is saved as a new JPEG,
at a quality estimated from the opened file or chosen on a slider.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without Qt's Wayland plugin the program falls back to X under a Wayland session, with a warning.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Every Debian package states its copyright and its changes in its documentation folder.
set(BRINDLEWICK_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${BRINDLEWICK_CHANGELOG}
  COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${BRINDLEWICK_CHANGELOG}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  COMMENT "Compressing the change log")
add_custom_target(brindlewick_changelog ALL DEPENDS ${BRINDLEWICK_CHANGELOG})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${BRINDLEWICK_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brindlewick)

# Where lintian's advice does not fit this program, the package says why.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME brindlewick)

include(CPack)
