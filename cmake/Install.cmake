# Installing Kestrun and packaging it as a Debian package, and the portable archive:
#   cmake --install build --prefix /usr      or      (cd build && cpack -G DEB)
#   (cd build && cpack -G TGZ)               (Portable.cmake)
# The Windows build installs and packs through WindowsRelease.cmake.
if(WIN32)
  return()
endif()
include(GNUInstallDirs)

install(TARGETS kestrun RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The program carries the portable archive's library path (Portable.cmake); installed into the
# system it uses the system's libraries alone.
install(CODE "file(RPATH_REMOVE FILE
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:kestrun>\")")

if(NOT WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/PackageDocs.cmake)
  set(KESTRUN_PACKAGING_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
  install(FILES ${KESTRUN_PACKAGING_DIR}/${KESTRUN_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KESTRUN_PACKAGING_DIR}/kestrun.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${KESTRUN_DOCS_DIR}/${KESTRUN_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${KESTRUN_DOCS_DIR}/kestrun.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
  install(FILES ${KESTRUN_DOCS_DIR}/copyright ${KESTRUN_DOCS_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrun)

  set(CPACK_PACKAGE_NAME kestrun)
  set(CPACK_PACKAGE_VENDOR "The Kestrun developers")
  set(CPACK_PACKAGE_CONTACT "Kestrun developers <kestrun@example.org>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flight-model switcher and launcher for Gunship! under Wine")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)

  set(CPACK_DEBIAN_PACKAGE_NAME kestrun)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  # Debian's section games holds games, installed in /usr/games; Kestrun is a tool that edits a
  # game's configuration and starts it, installed in /usr/bin: a utility.
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # CPack puts the summary first and indents these lines under it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Kestrun finds the helicopter simulation Gunship! in a Wine prefix
($WINEPREFIX, or ~/.wine, Lutris, Bottles, PlayOnLinux, Heroic or Steam),
lists the predefined flight models of the game's profile and marks the
one in force. It copies the flight model you pick into force, changing
nothing else in the profile, and starts the game as the prefix's manager
would, with its own Wine or Proton.")
  # The libraries come from dpkg-shlibdeps; Qt's window-system plugins are loaded at run time,
  # so they are named here.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine")
  set(CPACK_GENERATOR DEB)
  include(${CMAKE_CURRENT_LIST_DIR}/Portable.cmake)
  include(CPack)
endif()
