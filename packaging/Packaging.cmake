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

# Every Debian package states its copyright and its changes in its documentation folder, in
# Debian's own forms, and may carry lintian overrides: files for the package alone, so they form a
# component that `cmake --install` leaves out unless asked for it by name. An install from the
# source gets the licence itself instead.
set(BRINDLEWICK_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${BRINDLEWICK_CHANGELOG}
  COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${BRINDLEWICK_CHANGELOG}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
  COMMENT "Compressing the change log")
add_custom_target(brindlewick_changelog ALL DEPENDS ${BRINDLEWICK_CHANGELOG})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${BRINDLEWICK_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brindlewick COMPONENT debian EXCLUDE_FROM_ALL)
# Where lintian's advice does not fit this program, the package says why.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME brindlewick
        COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brindlewick
        COMPONENT licence)

# The package: the program's own files (the rules that name no component) and the Debian files,
# in one package.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)

include(CPack)
