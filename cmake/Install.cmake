# Installs the plug-in folder: both plug-ins and the four default WAV files, never the
# controller map ini file a test or a host run may have left in build/plugins.
#
# Where it goes is decided when installing, not when configuring:
#  - `cmake --install build` with the prefix CMake chose by itself: ~/.vst/Zorvek, the
#    folder hosts scan for the user's own plug-ins;
#  - any prefix given at configure time, with --prefix, or by cpack (which installs into
#    its staging folder under /usr): <prefix>/lib/vst/Zorvek.
# CMake says whether it chose the prefix only in the run that created the cache.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(ZORVEK_DEFAULT_PREFIX "${CMAKE_INSTALL_PREFIX}" CACHE INTERNAL "The install prefix CMake chose by itself")
endif()

# The rules below install relative to the folder that holds Zorvek/.
install(CODE "
  if(\"${ZORVEK_DEFAULT_PREFIX}\" STREQUAL \"\${CMAKE_INSTALL_PREFIX}\")
    set(CMAKE_INSTALL_PREFIX \"\$ENV{HOME}/.vst\")
  else()
    set(CMAKE_INSTALL_PREFIX \"\${CMAKE_INSTALL_PREFIX}/lib/vst\")
  endif()")

set(ZORVEK_INSTALLED_PLUGINS Zorvek2 ZorvekCapture)
install(TARGETS ${ZORVEK_INSTALLED_PLUGINS} LIBRARY DESTINATION Zorvek)
file(GLOB ZORVEK_DEFAULT_WAVS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/wav/*.wav)
install(FILES ${ZORVEK_DEFAULT_WAVS} DESTINATION Zorvek)
