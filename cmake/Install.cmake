# Installs the plug-in folder (both plug-ins and the four default WAV files, never the
# controller map ini file a test or a host run may have left in build/plugins), the
# render tool with its manual page, and the documents.
#
# Where it goes is decided when installing, not when configuring:
#  - `cmake --install build` with the prefix CMake chose by itself: the plug-ins to
#    ~/.vst/Zorvek, the folder hosts scan for the user's own plug-ins; the tool, its page
#    and the documents under ~/.local (bin/, share/man/, share/doc/zorvek2/), where a
#    user's own programs live;
#  - any prefix given at configure time, with --prefix, or by cpack (which installs into
#    its staging folder under /usr): <prefix>/lib/vst/Zorvek, <prefix>/bin and <prefix>/share.
# CMake says whether it chose the prefix only in the run that created the cache.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(ZORVEK_DEFAULT_PREFIX "${CMAKE_INSTALL_PREFIX}" CACHE INTERNAL "The install prefix CMake chose by itself")
endif()

# Debian wants manual pages compressed and the licence in a copyright file of its own
# layout; both are made once here and installed by every kind of install alike.
set(ZORVEK_MAN_PAGE ${CMAKE_BINARY_DIR}/zorvek-render.1.gz)
add_custom_command(OUTPUT ${ZORVEK_MAN_PAGE}
                   COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/docs/zorvek-render.1 > ${ZORVEK_MAN_PAGE}
                   DEPENDS ${CMAKE_SOURCE_DIR}/docs/zorvek-render.1 VERBATIM)
add_custom_target(zorvek_man_page ALL DEPENDS ${ZORVEK_MAN_PAGE})
file(READ ${CMAKE_SOURCE_DIR}/LICENSE ZORVEK_LICENSE_TEXT)
string(REGEX REPLACE "\n\n" "\n.\n" ZORVEK_LICENSE_TEXT "${ZORVEK_LICENSE_TEXT}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" ZORVEK_LICENSE_TEXT "${ZORVEK_LICENSE_TEXT}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/copyright.in ${CMAKE_BINARY_DIR}/copyright @ONLY)

install(CODE "
  set(ZORVEK_GIVEN_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  if(\"${ZORVEK_DEFAULT_PREFIX}\" STREQUAL \"\${CMAKE_INSTALL_PREFIX}\")
    set(CMAKE_INSTALL_PREFIX \"\$ENV{HOME}/.local\")
  endif()")
install(TARGETS zorvek-render RUNTIME DESTINATION bin)
install(FILES ${ZORVEK_MAN_PAGE} DESTINATION share/man/man1)
install(FILES ${CMAKE_BINARY_DIR}/copyright ${CMAKE_SOURCE_DIR}/docs/manual.md DESTINATION share/doc/zorvek2)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images DESTINATION share/doc/zorvek2)

# The rules below install relative to the folder that holds Zorvek/.
install(CODE "
  if(\"${ZORVEK_DEFAULT_PREFIX}\" STREQUAL \"\${ZORVEK_GIVEN_PREFIX}\")
    set(CMAKE_INSTALL_PREFIX \"\$ENV{HOME}/.vst\")
  else()
    set(CMAKE_INSTALL_PREFIX \"\${ZORVEK_GIVEN_PREFIX}/lib/vst\")
  endif()")

set(ZORVEK_INSTALLED_PLUGINS Zorvek2 ZorvekCapture)
install(TARGETS ${ZORVEK_INSTALLED_PLUGINS} LIBRARY DESTINATION Zorvek)
file(GLOB ZORVEK_DEFAULT_WAVS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/wav/*.wav)
install(FILES ${ZORVEK_DEFAULT_WAVS} DESTINATION Zorvek)

# The LV2 bundles (cmake/Lv2.cmake) go to ~/.lv2 or <prefix>/lib/lv2 by the same rule.
if(TARGET Zorvek2_lv2)
  install(CODE "
    if(\"${ZORVEK_DEFAULT_PREFIX}\" STREQUAL \"\${ZORVEK_GIVEN_PREFIX}\")
      set(CMAKE_INSTALL_PREFIX \"\$ENV{HOME}/.lv2\")
    else()
      set(CMAKE_INSTALL_PREFIX \"\${ZORVEK_GIVEN_PREFIX}/lib/lv2\")
    endif()")
  install(TARGETS Zorvek2_lv2 LIBRARY DESTINATION Zorvek2.lv2)
  install(TARGETS ZorvekCapture_lv2 LIBRARY DESTINATION ZorvekCapture.lv2)
  install(FILES ${CMAKE_BINARY_DIR}/lv2/Zorvek2.lv2/manifest.ttl ${CMAKE_BINARY_DIR}/lv2/Zorvek2.lv2/Zorvek2.ttl ${CMAKE_BINARY_DIR}/lv2/Zorvek2.lv2/presets.ttl
                ${ZORVEK_DEFAULT_WAVS} DESTINATION Zorvek2.lv2)
  install(FILES ${CMAKE_BINARY_DIR}/lv2/ZorvekCapture.lv2/manifest.ttl ${CMAKE_BINARY_DIR}/lv2/ZorvekCapture.lv2/ZorvekCapture.ttl
          DESTINATION ZorvekCapture.lv2)
endif()
