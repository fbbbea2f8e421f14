# `cpack` in the build folder makes a Debian package of what cmake/Install.cmake installs:
# the plug-in folder as /usr/lib/vst/Zorvek and the LV2 bundles in /usr/lib/lv2, where
# hosts look for system-wide plug-ins, /usr/bin/zorvek-render with its manual page, and
# the guide and copyright file in /usr/share/doc/zorvek2.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvek2)
set(CPACK_PACKAGE_VENDOR "Zorvek developers")
set(CPACK_PACKAGE_CONTACT "Zorvek developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "vocoder instrument and capture effect plug-ins (VST 2 and LV2)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zorvek2 is a vocoder instrument: an eight-voice synthesizer whose sound takes on\n"
    "the spectral shape of a voice or any other recording, through a filter bank and an\n"
    "FFT vocoder side by side, with delay, chorus and reverb. The modulator is one of four\n"
    "WAV files or audio captured from another track with ZorvekCapture, a small effect\n"
    "plug-in included in this package. zorvek-render plays MIDI files through the\n"
    "plug-ins on the command line.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

# The editor's file chooser runs a desktop dialog program when one is there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity | kdialog")
find_program(ZORVEK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZORVEK_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libcairo2, libx11-6, libsndfile1")
endif()

include(CPack)
