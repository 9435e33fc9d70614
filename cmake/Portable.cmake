# The portable archive, for Linux systems that cannot install the Debian package (the Steam
# Deck's read-only SteamOS, Fedora, Arch, openSUSE): `cpack -G TGZ` makes
# kestrun-<version>-linux-<arch>.tar.gz, one folder holding
#   kestrun, kestrun-prefix    the programs; they find their libraries in lib/ ($ORIGIN/lib)
#   lib/                       every shared library the programs and the plugins need,
#                              except those every Linux desktop has (packaging/excludelist)
#   plugins/                   Qt's xcb platform plugin and input contexts, found through qt.conf
#   qt.conf
#   install.sh, uninstall.sh   add Kestrun to the user's menu, and take it away again
#   share/                     the desktop entry, icon and AppStream metainfo install.sh copies
#   README.md, LICENSE
# It is all the install component "portable", which a plain `cmake --install` leaves out, so the
# system install and the .deb stay as they were.

# Qt's plugins the window needs, as <plugin>:<folder below plugins/>: the xcb platform, which
# draws it, and the input contexts, through which the folder boxes take what the player types
# as other programs do: dead keys and compose sequences, and input methods through IBus. Debian's
# Qt does not load the plugins' targets with Qt6Gui; their packages are beside it. A Qt without
# them makes no archive.
set(_plugins QXcbIntegrationPlugin:platforms
             QComposePlatformInputContextPlugin:platforminputcontexts
             QIbusPlatformInputContextPlugin:platforminputcontexts)
foreach(entry ${_plugins})
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 plugin)
  find_package(Qt6${plugin} CONFIG QUIET PATHS ${Qt6Gui_DIR} NO_DEFAULT_PATH)
  if(NOT Qt6${plugin}_FOUND)
    message(STATUS "No portable archive: this Qt has no CMake package for its ${plugin}")
    return()
  endif()
endforeach()

# The programs search lib/ beside themselves. The search path is an RPATH, not a RUNPATH: a
# RUNPATH serves only the object that carries it, while the executable's RPATH also serves the
# libraries and the plugin, none of which carries a search path of its own; and LD_LIBRARY_PATH
# (Steam sets one for the programs it starts) cannot put another Qt before ours. The path is
# set at the link, so installing changes nothing in the file: to make room for it at install,
# CMake would pad the build's path with empty entries, which the loader reads as the working
# directory. The Debian install takes it out again (Install.cmake).
set(KESTRUN_PORTABLE_PROGRAMS kestrun kestrun-prefix)
set_target_properties(${KESTRUN_PORTABLE_PROGRAMS} PROPERTIES INSTALL_RPATH "\$ORIGIN/lib"
                                                              BUILD_WITH_INSTALL_RPATH ON)
foreach(program ${KESTRUN_PORTABLE_PROGRAMS})
  target_link_options(${program} PRIVATE LINKER:--disable-new-dtags)
endforeach()

set(_portable COMPONENT portable EXCLUDE_FROM_ALL)
install(TARGETS ${KESTRUN_PORTABLE_PROGRAMS} RUNTIME_DEPENDENCY_SET kestrun_portable
        RUNTIME DESTINATION . ${_portable})
foreach(entry ${_plugins})
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 plugin)
  list(GET entry 1 folder)
  install(IMPORTED_RUNTIME_ARTIFACTS Qt6::${plugin} RUNTIME_DEPENDENCY_SET kestrun_portable
          LIBRARY DESTINATION plugins/${folder} ${_portable})
endforeach()

# The libraries the system provides: packaging/excludelist's names (its comments and blank
# lines dropped). They are not looked for, so neither are the libraries they need.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/excludelist _lines)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/packaging/excludelist)
set(_system_libraries)
foreach(line IN LISTS _lines)
  string(REGEX REPLACE "#.*" "" name "${line}")
  string(STRIP "${name}" name)
  if(name)
    string(REGEX REPLACE "([.+])" "\\\\\\1" name "${name}")
    list(APPEND _system_libraries "^${name}$")
  endif()
endforeach()
install(RUNTIME_DEPENDENCY_SET kestrun_portable PRE_EXCLUDE_REGEXES ${_system_libraries}
        LIBRARY DESTINATION lib ${_portable})

set(_portable_dir ${CMAKE_CURRENT_SOURCE_DIR}/packaging/portable)
install(FILES ${_portable_dir}/qt.conf ${CMAKE_CURRENT_SOURCE_DIR}/README.md
              ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE DESTINATION . ${_portable})
install(PROGRAMS ${_portable_dir}/install.sh ${_portable_dir}/uninstall.sh DESTINATION .
        ${_portable})
install(FILES ${KESTRUN_PACKAGING_DIR}/${KESTRUN_APP_ID}.desktop DESTINATION share/applications
        ${_portable})
install(FILES ${KESTRUN_PACKAGING_DIR}/kestrun.svg DESTINATION share/icons/hicolor/scalable/apps
        ${_portable})
install(FILES ${KESTRUN_DOCS_DIR}/${KESTRUN_APP_ID}.metainfo.xml DESTINATION share/metainfo
        ${_portable})

# cpack reads cmake/CPackGenerators.cmake for each generator: the archive holds this component.
list(APPEND CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_FILE_NAME kestrun-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_KESTRUN_PORTABLE_PROJECT "${PROJECT_BINARY_DIR};${PROJECT_NAME};portable;/")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackGenerators.cmake)
