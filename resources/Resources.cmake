# Resources of Zorvek2. The factory bank is kept as readable text and turned into the
# bank file at build time; the resource table embeds the generated file.
add_executable(zorvek-fxb ${CMAKE_SOURCE_DIR}/tools/fxb/FxbTool.cpp)
target_include_directories(zorvek-fxb PRIVATE ${CMAKE_SOURCE_DIR}/src)

set(ZORVEK_FACTORY_BANK ${CMAKE_BINARY_DIR}/resources/factory-bank.fxb)
add_custom_command(
  OUTPUT ${ZORVEK_FACTORY_BANK}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/resources
  COMMAND zorvek-fxb ${CMAKE_SOURCE_DIR}/resources/factory-bank.txt ${ZORVEK_FACTORY_BANK}
  DEPENDS zorvek-fxb ${CMAKE_SOURCE_DIR}/resources/factory-bank.txt
  COMMENT "Building the factory bank")

list(APPEND ZORVEK2_RESOURCES FXB 218 ${ZORVEK_FACTORY_BANK})

# The editor's pictures.
if(NOT ZORVEK_ENGINE_ONLY)
  include(${CMAKE_CURRENT_LIST_DIR}/Bitmaps.cmake)
  list(APPEND ZORVEK2_RESOURCES ${ZORVEK_VOCODER_BITMAPS})
endif()
