# What the Windows build ships beside the code: kestrun.exe's resources (icon, version
# information, manifest) and the packages a Windows player downloads, a portable ZIP and an MSI:
#   cmake --build build-win64 && (cd build-win64 && cpack)
# The icon is drawn from packaging/kestrun.svg at build time (rsvg-convert, icotool); the MSI is
# made by wixl. Only the Windows build includes anything of this.
if(NOT WIN32)
  return()
endif()

set(_packaging ${CMAKE_CURRENT_LIST_DIR}/../packaging)
cmake_path(NORMAL_PATH _packaging)
set(_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_out})

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(KESTRUN_WINDOWS_ARCH x64)
else()
  set(KESTRUN_WINDOWS_ARCH x86)
endif()

# ---- Icon: every size Explorer, the taskbar and the title bar ask for ----
find_program(KESTRUN_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(KESTRUN_ICOTOOL icotool REQUIRED)
set(KESTRUN_ICO ${_out}/kestrun.ico)
set(_pngs)
set(_draw)
foreach(size 16 24 32 48 256)
  set(_png ${_out}/kestrun-${size}.png)
  list(APPEND _draw COMMAND ${KESTRUN_RSVG_CONVERT} -w ${size} -h ${size} -o ${_png}
       ${_packaging}/kestrun.svg)
  if(size EQUAL 256)
    list(APPEND _pngs --raw=${_png})  # stored as PNG, as Windows Vista and later read it
  else()
    list(APPEND _pngs ${_png})
  endif()
endforeach()
add_custom_command(OUTPUT ${KESTRUN_ICO} ${_draw}
                   COMMAND ${KESTRUN_ICOTOOL} -c -o ${KESTRUN_ICO} ${_pngs}
                   DEPENDS ${_packaging}/kestrun.svg VERBATIM)
add_custom_target(kestrun_icon DEPENDS ${KESTRUN_ICO})

# ---- Manifest, version information, and the resource scripts that carry them ----
set(KESTRUN_VERSION4 ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(KESTRUN_MANIFEST ${_out}/kestrun.manifest)
configure_file(${_packaging}/kestrun.manifest.in ${KESTRUN_MANIFEST} @ONLY)
set(KESTRUN_MANIFEST_RC ${_out}/kestrun-manifest.rc)
configure_file(${_packaging}/kestrun-manifest.rc.in ${KESTRUN_MANIFEST_RC} @ONLY)
configure_file(${_packaging}/kestrun.rc.in ${_out}/kestrun.rc @ONLY)
# Source properties belong to the folder of the target that compiles the file.
set_source_files_properties(${_out}/kestrun.rc TARGET_DIRECTORY kestrun PROPERTIES
                            OBJECT_DEPENDS "${KESTRUN_ICO};${KESTRUN_MANIFEST};${KESTRUN_MANIFEST_RC}")
target_sources(kestrun PRIVATE ${_out}/kestrun.rc)
add_dependencies(kestrun kestrun_icon)

# Gives a program the manifest alone, so it runs with kestrun.exe's DPI awareness and controls.
function(kestrun_windows_manifest target)
  set_source_files_properties(${KESTRUN_MANIFEST_RC} TARGET_DIRECTORY ${target} PROPERTIES
                              OBJECT_DEPENDS ${KESTRUN_MANIFEST})
  target_sources(${target} PRIVATE ${KESTRUN_MANIFEST_RC})
endfunction()

# ---- Packages ----
install(TARGETS kestrun RUNTIME DESTINATION .)
# Text files as Notepad shows them: .txt, CRLF line ends.
foreach(pair "README.md;README.txt" "LICENSE;LICENSE.txt")
  list(GET pair 0 _from)
  list(GET pair 1 _to)
  file(READ ${PROJECT_SOURCE_DIR}/${_from} _text)
  string(REPLACE "\r\n" "\n" _text "${_text}")
  string(REPLACE "\n" "\r\n" _text "${_text}")
  file(WRITE ${_out}/${_to} "${_text}")
  install(FILES ${_out}/${_to} DESTINATION .)
endforeach()

set(CPACK_PACKAGE_NAME kestrun)
set(CPACK_PACKAGE_VENDOR "The Kestrun developers")
set(CPACK_PACKAGE_FILE_NAME kestrun-${PROJECT_VERSION}-${KESTRUN_WINDOWS_ARCH})
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP)
find_program(KESTRUN_WIXL wixl)
if(KESTRUN_WIXL)
  if(KESTRUN_WINDOWS_ARCH STREQUAL "x64")
    set(KESTRUN_MSI_PROGRAM_FILES ProgramFiles64Folder)
    set(KESTRUN_MSI_WIN64 yes)
  else()
    set(KESTRUN_MSI_PROGRAM_FILES ProgramFilesFolder)
    set(KESTRUN_MSI_WIN64 no)
  endif()
  configure_file(${_packaging}/kestrun.wxs.in ${_out}/kestrun.wxs @ONLY)
  list(APPEND CPACK_GENERATOR External)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/WixlPackage.cmake)
  set(CPACK_KESTRUN_WIXL ${KESTRUN_WIXL})
  set(CPACK_KESTRUN_WXS ${_out}/kestrun.wxs)
  set(CPACK_KESTRUN_ICO_DIR ${_out})
  set(CPACK_KESTRUN_ARCH ${KESTRUN_WINDOWS_ARCH})
endif()
include(CPack)
