# The editors' pictures, drawn at build time by tools/artwork (cairo, deterministic).
# Sets ZORVEK_VOCODER_BITMAPS and ZORVEK_CAPTURE_BITMAPS, resource triples
# (type id file) for the two plug-ins' resource tables, and the target zorvek_artwork.
include_guard(DIRECTORY)

file(GLOB artwork_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/artwork/*.cpp)
add_executable(zorvek-artwork ${artwork_sources})
target_include_directories(zorvek-artwork PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(zorvek-artwork PRIVATE PkgConfig::CAIRO ${CMAKE_DL_LIBS})

set(ZORVEK_ARTWORK_DIR ${CMAKE_BINARY_DIR}/artwork)
set(vocoder_ids 131 137 141 142 202 224 227 228 229 230 232 234 235 236 237 238)
set(capture_ids 140 141 142)
set(ZORVEK_VOCODER_BITMAPS "")
set(ZORVEK_CAPTURE_BITMAPS "")
set(artwork_files "")
foreach(id ${vocoder_ids})
  list(APPEND ZORVEK_VOCODER_BITMAPS PNG ${id} ${ZORVEK_ARTWORK_DIR}/vocoder-${id}.png)
  list(APPEND artwork_files ${ZORVEK_ARTWORK_DIR}/vocoder-${id}.png)
  # The vocoder editor scales with the screen: the same pictures drawn at each scale,
  # as resource type PNG@<percent>.
  foreach(percent 125 150 175 200)
    list(APPEND ZORVEK_VOCODER_BITMAPS PNG@${percent} ${id} ${ZORVEK_ARTWORK_DIR}/vocoder-${id}@${percent}.png)
    list(APPEND artwork_files ${ZORVEK_ARTWORK_DIR}/vocoder-${id}@${percent}.png)
  endforeach()
endforeach()
foreach(id ${capture_ids})
  list(APPEND ZORVEK_CAPTURE_BITMAPS PNG ${id} ${ZORVEK_ARTWORK_DIR}/capture-${id}.png)
  list(APPEND artwork_files ${ZORVEK_ARTWORK_DIR}/capture-${id}.png)
endforeach()

add_custom_command(
  OUTPUT ${artwork_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZORVEK_ARTWORK_DIR}
  COMMAND zorvek-artwork ${ZORVEK_ARTWORK_DIR}
  DEPENDS zorvek-artwork
  COMMENT "Drawing the editors' pictures"
  VERBATIM)
add_custom_target(zorvek_artwork DEPENDS ${artwork_files})
