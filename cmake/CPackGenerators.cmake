# Read by cpack once for each generator it runs (CPACK_PROJECT_CONFIG_FILE). The Debian package
# installs the program into /usr; the archive is the portable program (Portable.cmake): its
# component alone, at the top of the archive's folder.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_KESTRUN_PORTABLE_PROJECT}")
  set(CPACK_PACKAGING_INSTALL_PREFIX /)
endif()
