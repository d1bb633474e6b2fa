# The Debian package, built by CPack (scripts/package): the four programs, their data, desktop
# entries, icon, metadata and manual pages. Run-time dependencies come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trovalen)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Trovalen developers <trovalen@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "see who holds which effective rights, and why")
set(CPACK_PACKAGE_DESCRIPTION
    "Trovalen tells administrators of NetWare file servers and of the eDirectory directory who\n"
    "holds which effective rights on a directory of a volume or an object of the directory tree,\n"
    "and why. Two windows (trovalen, trovalen-edir), a headless command for scripts with JSON\n"
    "output (trovalen-scan) and a tree-file tool (trovalen-tree).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_STRIP_FILES ON)
# scripts/package builds in its own folder and leaves the package in build/.
if(DEFINED TROVALEN_PACKAGE_DIR)
    set(CPACK_OUTPUT_FILE_PREFIX ${TROVALEN_PACKAGE_DIR})
endif()
include(CPack)
