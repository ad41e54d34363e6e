# Installs the build into a fresh prefix, checks what lands where, then configures, builds
# and runs a small program against the installed NumEdit package, one with a clock.h and an
# exception.h of its own.
# Variables: BUILD_DIR, WORK_DIR, CONSUMER_DIR, GENERATOR, CXX_COMPILER, CXX_FLAGS (those
# the library was built with, e.g. a sanitizer's, which its users must link with), PLUGIN_DIR (the
# Designer plugin folder below the prefix, empty without the plugin), DESKTOP_VALIDATE.
cmake_minimum_required(VERSION 3.22)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}\nfailed (${rc}):\n${out}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(expected
  bin/vestrel
  share/applications/io.github.vestrel.Vestrel.desktop
  share/metainfo/io.github.vestrel.Vestrel.metainfo.xml
  share/man/man1/vestrel.1.gz
  share/icons/hicolor/scalable/apps/vestrel.svg)
foreach(size 16 22 24 32 48 64 128 256)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/vestrel.png)
endforeach()
if(PLUGIN_DIR)
  list(APPEND expected ${PLUGIN_DIR}/libnumedit_designer_plugin.so)
endif()
foreach(file ${expected})
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# Only the headers a host needs, all below include/numedit/.
set(headers
  include/numedit/exception.h
  include/numedit/form_reading_scope.h
  include/numedit/num_edit_ui_loader.h
  include/numedit/tedspeedbutton.h
  include/numedit/tnumedit.h)
file(GLOB_RECURSE installed_headers RELATIVE ${prefix} ${prefix}/include/*)
list(SORT installed_headers)
if(NOT installed_headers STREQUAL headers)
  string(REPLACE ";" "\n  " got "${installed_headers}")
  message(FATAL_ERROR "installed headers:\n  ${got}")
endif()
file(GLOB_RECURSE config ${prefix}/*/NumEditConfig.cmake)
if(NOT config)
  message(FATAL_ERROR "not installed: NumEditConfig.cmake")
endif()
if(DESKTOP_VALIDATE)
  run(${DESKTOP_VALIDATE} ${prefix}/share/applications/io.github.vestrel.Vestrel.desktop)
endif()

run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer)
