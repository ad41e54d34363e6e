# Builds the Debian packages from the build tree with CPack, checks their control fields and
# file lists, then unpacks vestrel into a scratch root and starts the program found through its
# menu entry.
# Variables: BUILD_DIR, WORK_DIR, CPACK, VERSION, LIBDIR (the library folder below the prefix),
# PLUGIN_DIR (the Designer plugin folder below the prefix, empty without the plugin),
# APPSTREAMCLI and MAN (empty where missing: that step is left out).
cmake_minimum_required(VERSION 3.22)

function(run out_var)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}\nfailed (${rc}):\n${out}${err}")
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
run(ignored ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR})

file(GLOB debs RELATIVE ${WORK_DIR} ${WORK_DIR}/*.deb)
list(SORT debs)
set(program_deb "")
set(devel_deb "")
foreach(deb ${debs})
  if(deb MATCHES "^vestrel_${VERSION}-1_[a-z0-9]+\\.deb$")
    set(program_deb ${WORK_DIR}/${deb})
  elseif(deb MATCHES "^libnumedit-dev_${VERSION}-1_[a-z0-9]+\\.deb$")
    set(devel_deb ${WORK_DIR}/${deb})
  else()
    message(FATAL_ERROR "unexpected package: ${deb}")
  endif()
endforeach()
if(NOT program_deb OR NOT devel_deb)
  message(FATAL_ERROR "expected vestrel and libnumedit-dev ${VERSION}-1, got: ${debs}")
endif()

# Fails unless the package's control field matches the regular expression.
function(expect_field deb field regex)
  run(value dpkg-deb --field ${deb} ${field})
  string(STRIP "${value}" value)
  if(NOT value MATCHES "${regex}")
    get_filename_component(name ${deb} NAME)
    message(FATAL_ERROR "${name}: ${field} is '${value}', expected to match '${regex}'")
  endif()
endfunction()

expect_field(${program_deb} Package "^vestrel$")
expect_field(${program_deb} Version "^${VERSION}-1$")
expect_field(${program_deb} Section "^net$")
expect_field(${program_deb} Maintainer ".+ <.+@.+>")
# Found by dpkg-shlibdeps from what the binary links; the development files are not needed.
expect_field(${program_deb} Depends "(^|, )libqt6widgets6 \\(>= [^)]+\\)")
expect_field(${program_deb} Depends "(^|, )libc6 \\(>= [^)]+\\)")
run(depends dpkg-deb --field ${program_deb} Depends)
if(depends MATCHES "-dev[ ,\n]")
  message(FATAL_ERROR "vestrel depends on development files: ${depends}")
endif()
expect_field(${devel_deb} Package "^libnumedit-dev$")
expect_field(${devel_deb} Version "^${VERSION}-1$")
expect_field(${devel_deb} Section "^libdevel$")
expect_field(${devel_deb} Depends "(^|, )qt6-base-dev(,|$)")
if(PLUGIN_DIR)
  expect_field(${devel_deb} Depends "(^|, )libqt6designer6 \\(>= [^)]+\\)")
endif()

# The files of a package (folders left out), as paths below the root without "./".
function(package_files deb out_var)
  run(listing dpkg-deb --contents ${deb})
  string(REPLACE "\n" ";" lines "${listing}")
  set(files "")
  foreach(line ${lines})
    if(line MATCHES "^-[^ ]+ root/root .* \\./(.+)$")
      list(APPEND files ${CMAKE_MATCH_1})
    elseif(line MATCHES "^[^d]")
      message(FATAL_ERROR "not a plain file or folder owned by root: ${line}")
    endif()
  endforeach()
  list(SORT files)
  set(${out_var} ${files} PARENT_SCOPE)
endfunction()

set(expected
  usr/bin/vestrel
  usr/share/applications/io.github.vestrel.Vestrel.desktop
  usr/share/icons/hicolor/scalable/apps/vestrel.svg
  usr/share/man/man1/vestrel.1.gz
  usr/share/metainfo/io.github.vestrel.Vestrel.metainfo.xml)
foreach(size 16 22 24 32 48 64 128 256)
  list(APPEND expected usr/share/icons/hicolor/${size}x${size}/apps/vestrel.png)
endforeach()
list(SORT expected)
package_files(${program_deb} program_files)
if(NOT program_files STREQUAL expected)
  string(REPLACE ";" "\n  " got "${program_files}")
  string(REPLACE ";" "\n  " want "${expected}")
  message(FATAL_ERROR "vestrel holds:\n  ${got}\nexpected:\n  ${want}")
endif()

package_files(${devel_deb} devel_files)
set(required
  usr/${LIBDIR}/libnumedit.a
  usr/${LIBDIR}/cmake/NumEdit/NumEditConfig.cmake
  usr/${LIBDIR}/cmake/NumEdit/NumEditConfigVersion.cmake
  usr/${LIBDIR}/cmake/NumEdit/NumEditTargets.cmake
  usr/include/numedit/exception.h
  usr/include/numedit/form_reading_scope.h
  usr/include/numedit/num_edit_ui_loader.h
  usr/include/numedit/tedspeedbutton.h
  usr/include/numedit/tnumedit.h)
if(PLUGIN_DIR)
  list(APPEND required usr/${PLUGIN_DIR}/libnumedit_designer_plugin.so)
endif()
foreach(file ${required})
  if(NOT file IN_LIST devel_files)
    message(FATAL_ERROR "libnumedit-dev lacks ${file}")
  endif()
endforeach()
foreach(file ${devel_files})
  if(NOT file MATCHES "^usr/(include/numedit|${LIBDIR})/")
    message(FATAL_ERROR "libnumedit-dev holds ${file}, which belongs to neither the library nor its headers")
  endif()
endforeach()

# The program as it lands on a machine.
set(root ${WORK_DIR}/root)
run(ignored dpkg-deb --extract ${program_deb} ${root})
if(APPSTREAMCLI)
  # Also checks that the metadata's launchable names a desktop entry in the package.
  run(ignored ${APPSTREAMCLI} validate-tree --no-net ${root})
endif()
if(MAN)
  execute_process(COMMAND ${MAN} --warnings -l ${root}/usr/share/man/man1/vestrel.1.gz
    RESULT_VARIABLE rc OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
  if(NOT rc EQUAL 0 OR NOT warnings STREQUAL "" OR NOT page MATCHES "EXIT STATUS")
    message(FATAL_ERROR "man -l vestrel.1.gz (${rc}):\n${warnings}")
  endif()
endif()

file(STRINGS ${root}/usr/share/applications/io.github.vestrel.Vestrel.desktop entry)
list(FILTER entry INCLUDE REGEX "^(Exec|Icon)=")
set(exec "")
set(icon "")
foreach(line ${entry})
  if(line MATCHES "^Exec=([^ ]+)")
    set(exec ${CMAKE_MATCH_1})
  elseif(line MATCHES "^Icon=(.+)$")
    set(icon ${CMAKE_MATCH_1})
  endif()
endforeach()
if(NOT exec STREQUAL "vestrel" OR NOT EXISTS ${root}/usr/share/icons/hicolor/scalable/apps/${icon}.svg)
  message(FATAL_ERROR "the menu entry starts '${exec}' with icon '${icon}', which the package lacks")
endif()

# The installed binary starts (its libraries resolve, the window opens offscreen) and keeps
# running until it is stopped; a failure to start ends it at once.
execute_process(COMMAND ${root}/usr/bin/${exec} TIMEOUT 2
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc MATCHES "timeout")
  message(FATAL_ERROR "the installed vestrel ended by itself (${rc}):\n${out}${err}")
endif()
