# The LV2 bundles build/lv2/Zorvek2.lv2 and build/lv2/ZorvekCapture.lv2: the same engine
# behind the LV2 adapter (src/lv2), with descriptions generated from the plug-ins.
pkg_check_modules(LV2 REQUIRED IMPORTED_TARGET lv2)

zorvek_subsystem(lv2 DEPS zorvek_host zorvek_gui PkgConfig::LV2)
# The top layer's shared headers (plugins/Lv2Layouts.h); its entry files go into the
# plug-in libraries themselves.
zorvek_subsystem(plugins DEPS zorvek_lv2 zorvek_framework zorvek_capture)

set(ZORVEK_LV2_DIR ${CMAKE_BINARY_DIR}/lv2)
set(ZORVEK2_BUNDLE ${ZORVEK_LV2_DIR}/Zorvek2.lv2)
set(ZORVEKCAPTURE_BUNDLE ${ZORVEK_LV2_DIR}/ZorvekCapture.lv2)
file(MAKE_DIRECTORY ${ZORVEK2_BUNDLE} ${ZORVEKCAPTURE_BUNDLE})

# zorvek_lv2_plugin(<target> <name> <bundle> <entry file> <libraries>): the bundle's
# library <name>.so, exporting only lv2_descriptor and lv2ui_descriptor.
function(zorvek_lv2_plugin target name bundle entry)
  add_library(${target} MODULE ${entry} ${CMAKE_SOURCE_DIR}/src/lv2/Lv2Entry.cpp)
  target_link_libraries(${target} PRIVATE zorvek_plugins ${ARGN})
  target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${name} LIBRARY_OUTPUT_DIRECTORY ${bundle})
endfunction()

zorvek_lv2_plugin(Zorvek2_lv2 Zorvek2 ${ZORVEK2_BUNDLE} ${CMAKE_SOURCE_DIR}/src/plugins/VocoderLv2Entry.cpp
                  zorvek_editor zorvek_framework Zorvek2_resources)
zorvek_lv2_plugin(ZorvekCapture_lv2 ZorvekCapture ${ZORVEKCAPTURE_BUNDLE}
                  ${CMAKE_SOURCE_DIR}/src/plugins/CaptureLv2Entry.cpp zorvek_editor zorvek_capture
                  ZorvekCapture_resources)

add_executable(zorvek-lv2-turtle ${CMAKE_SOURCE_DIR}/tools/lv2/Lv2Turtle.cpp)
target_link_libraries(zorvek-lv2-turtle PRIVATE zorvek_editor zorvek_framework zorvek_capture zorvek_plugins
                      Zorvek2_resources)
set(lv2_turtle ${ZORVEK2_BUNDLE}/manifest.ttl ${ZORVEK2_BUNDLE}/Zorvek2.ttl ${ZORVEK2_BUNDLE}/presets.ttl
               ${ZORVEKCAPTURE_BUNDLE}/manifest.ttl ${ZORVEKCAPTURE_BUNDLE}/ZorvekCapture.ttl)
add_custom_command(OUTPUT ${lv2_turtle}
                   COMMAND zorvek-lv2-turtle ${ZORVEK2_BUNDLE} ${ZORVEKCAPTURE_BUNDLE}
                   DEPENDS zorvek-lv2-turtle
                   COMMENT "Describing the LV2 bundles")

# The default modulator files sit in the bundle, where relative paths resolve.
set(bundle_wavs "")
foreach(wav ${default_wavs})
  get_filename_component(wav_name ${wav} NAME)
  add_custom_command(OUTPUT ${ZORVEK2_BUNDLE}/${wav_name}
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${wav} ${ZORVEK2_BUNDLE}/${wav_name}
                     DEPENDS ${wav})
  list(APPEND bundle_wavs ${ZORVEK2_BUNDLE}/${wav_name})
endforeach()
add_custom_target(lv2_bundles ALL DEPENDS ${lv2_turtle} ${bundle_wavs})
add_dependencies(lv2_bundles Zorvek2_lv2 ZorvekCapture_lv2)
