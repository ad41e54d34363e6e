# Checks the metadata that ships with the program: the AppStream file is valid and names the
# desktop entry and a screenshot of this repository, its newest release and the manual page
# carry the project's version, and the manual page formats without a warning.
# Variables: SOURCE_DIR, VERSION, APPSTREAMCLI and GROFF (empty where missing: that check is
# left out, and the test reports itself skipped).
cmake_minimum_required(VERSION 3.22)

set(resources ${SOURCE_DIR}/resources)
file(GLOB entries RELATIVE ${resources} ${resources}/*.desktop)
list(LENGTH entries count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one desktop entry in resources/, found: ${entries}")
endif()
string(REGEX REPLACE "\\.desktop$" "" app_id ${entries})

set(metainfo ${resources}/${app_id}.metainfo.xml)
if(NOT EXISTS ${metainfo})
  message(FATAL_ERROR "no AppStream file ${app_id}.metainfo.xml for the desktop entry ${entries}")
endif()
file(READ ${metainfo} xml)
if(NOT xml MATCHES "<id>${app_id}</id>")
  message(FATAL_ERROR "${metainfo}: the id is not ${app_id}")
endif()
if(NOT xml MATCHES "<launchable type=\"desktop-id\">${app_id}\\.desktop</launchable>")
  message(FATAL_ERROR "${metainfo}: the launchable is not ${app_id}.desktop")
endif()
# The screenshot is published from this repository's main branch.
set(screenshot "")
if(xml MATCHES "<image>[^<]+/main/([^<]+)</image>")
  set(screenshot ${CMAKE_MATCH_1})
endif()
if(NOT screenshot OR NOT EXISTS ${SOURCE_DIR}/${screenshot})
  message(FATAL_ERROR "${metainfo}: the screenshot '${screenshot}' is no file of this repository")
endif()
# Releases are listed newest first.
set(release "")
if(xml MATCHES "<release version=\"([^\"]+)\"")
  set(release ${CMAKE_MATCH_1})
endif()
if(NOT release STREQUAL VERSION)
  message(FATAL_ERROR "${metainfo}: the newest release is '${release}', the project's version ${VERSION}")
endif()

set(man_page ${resources}/vestrel.1)
file(STRINGS ${man_page} title REGEX "^\\.TH ")
if(NOT title MATCHES "\"Vestrel ${VERSION}\"")
  message(FATAL_ERROR "${man_page}: '${title}' does not name Vestrel ${VERSION}")
endif()

set(skipped "")
if(GROFF)
  # groff reports warnings and still succeeds: any output is a fault.
  execute_process(COMMAND ${GROFF} -ww -z -man ${man_page}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "groff -ww -z -man vestrel.1 (${rc}):\n${out}")
  endif()
else()
  list(APPEND skipped "groff not found (Debian: groff-base)")
endif()
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --explain ${metainfo}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate (${rc}):\n${out}")
  endif()
else()
  list(APPEND skipped "appstreamcli not found (Debian: appstream)")
endif()
if(skipped)
  list(JOIN skipped "; " skipped)
  message("SKIPPED: ${skipped}")
endif()
