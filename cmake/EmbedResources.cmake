# zorvek_embed_resources(<target> <type> <id> <file> [<type> <id> <file> ...])
# Generates the target's resource table (platform/Resources.h): the files' bytes
# compiled into the object library <target>_resources, looked up by type and id.
function(zorvek_embed_resources target)
  set(entries ${ARGN})
  set(files "")
  list(LENGTH entries count)
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE 2 ${last} 3)
      list(GET entries ${i} file)
      list(APPEND files ${file})
    endforeach()
  endif()
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  string(REPLACE ";" "|" packed "${entries}")
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} "-DENTRIES=${packed}" -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFiles.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/EmbedFiles.cmake
    COMMENT "Embedding resources of ${target}"
    VERBATIM)
  # A library of its own, so that tests which build the plug-in object directly find the
  # same resources as the plug-in file. Object files, not an archive: every library
  # that looks resources up links before or after it in any order.
  add_library(${target}_resources OBJECT ${output})
  target_include_directories(${target}_resources PRIVATE ${CMAKE_SOURCE_DIR}/src)
  if(TARGET ${target})
    target_link_libraries(${target} PRIVATE ${target}_resources)
  endif()
endfunction()
