# The files a Linux install carries beside the program, made in ${KESTRUN_DOCS_DIR}:
#   ${KESTRUN_APP_ID}.metainfo.xml   AppStream metadata for software centres
#   kestrun.6.gz                     the manual page
#   changelog.gz                     packaging/changelog (Debian's format: the package is native)
#   copyright                        LICENSE in Debian's machine-readable copyright format
# packaging/changelog is the one home of release dates: its top entry must be PROJECT_VERSION
# (configuring fails otherwise), and its date is the release date in the metainfo and the manual.
set(KESTRUN_APP_ID io.github.kestrun.Kestrun)
set(KESTRUN_HOMEPAGE https://github.com/kestrun/kestrun)
set(KESTRUN_DOCS_DIR ${CMAKE_CURRENT_BINARY_DIR}/package-docs)
set(_packaging ${CMAKE_CURRENT_SOURCE_DIR}/packaging)

# The top entry: "kestrun (VERSION) ..." first, its trailer " -- NAME <MAIL>  Day, DD Mon YYYY ...".
file(STRINGS ${_packaging}/changelog _top LIMIT_COUNT 1)
file(STRINGS ${_packaging}/changelog _trailer REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX MATCH "^kestrun \\(([^)]+)\\)" _ "${_top}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog's top entry is '${CMAKE_MATCH_1}', the project's version "
                      "${PROJECT_VERSION}: add an entry for the release")
endif()
if(NOT _trailer MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog: the top entry's trailer has no date: '${_trailer}'")
endif()
set(_day ${CMAKE_MATCH_1})
set(_year ${CMAKE_MATCH_3})
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND _months ${CMAKE_MATCH_2} _month)
if(_month LESS 0)
  message(FATAL_ERROR "packaging/changelog: no month '${CMAKE_MATCH_2}' in '${_trailer}'")
endif()
math(EXPR _month "${_month} + 1" OUTPUT_FORMAT DECIMAL)
if(_month LESS 10)
  set(_month 0${_month})
endif()
set(KESTRUN_RELEASE_DATE ${_year}-${_month}-${_day})

configure_file(${_packaging}/kestrun.metainfo.xml.in
               ${KESTRUN_DOCS_DIR}/${KESTRUN_APP_ID}.metainfo.xml @ONLY)
configure_file(${_packaging}/kestrun.6 ${KESTRUN_DOCS_DIR}/kestrun.6 @ONLY)
configure_file(${_packaging}/changelog ${KESTRUN_DOCS_DIR}/changelog COPYONLY)

# copyright: "Copyright (c) YEARS HOLDER" and the licence's paragraphs from LICENSE, the MIT
# licence, which Debian calls Expat. Paragraphs are indented one space, blank lines become " .".
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE _license)
if(NOT _license MATCHES "^MIT License\n\nCopyright \\(c\\) ([^\n]+)\n\n(.*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE is not the MIT licence with one copyright line")
endif()
set(_holder "${CMAKE_MATCH_1}")
string(REPLACE "\n\n" "\n.\n" _text "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " _text "${_text}")
file(WRITE ${KESTRUN_DOCS_DIR}/copyright.new
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: Kestrun\n"
     "Source: ${KESTRUN_HOMEPAGE}\n\n"
     "Files: *\n"
     "Copyright: ${_holder}\n"
     "License: Expat\n"
     " ${_text}\n")
configure_file(${KESTRUN_DOCS_DIR}/copyright.new ${KESTRUN_DOCS_DIR}/copyright COPYONLY)

# Manual pages and changelogs are installed gzipped at the best compression, without a name or
# time stamp in the header, so that two builds give the same bytes.
add_custom_command(OUTPUT ${KESTRUN_DOCS_DIR}/kestrun.6.gz ${KESTRUN_DOCS_DIR}/changelog.gz
                   COMMAND gzip -9nkf kestrun.6 changelog
                   WORKING_DIRECTORY ${KESTRUN_DOCS_DIR}
                   DEPENDS ${KESTRUN_DOCS_DIR}/kestrun.6 ${KESTRUN_DOCS_DIR}/changelog VERBATIM)
add_custom_target(kestrun_package_docs ALL DEPENDS ${KESTRUN_DOCS_DIR}/kestrun.6.gz
                                                   ${KESTRUN_DOCS_DIR}/changelog.gz)
