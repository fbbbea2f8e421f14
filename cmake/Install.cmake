# The plug-in folder goes to ~/.vst/Zorvek unless a prefix was given at configure time.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(ZORVEK_INSTALL_DIR "$ENV{HOME}/.vst/Zorvek")
else()
  set(ZORVEK_INSTALL_DIR "lib/vst/Zorvek")
endif()
install(DIRECTORY ${ZORVEK_PLUGIN_DIR}/ DESTINATION ${ZORVEK_INSTALL_DIR}
        FILES_MATCHING PATTERN "*.so" PATTERN "*.wav")
