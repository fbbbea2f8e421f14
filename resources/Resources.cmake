# Resources of Zorvek2.
include(${CMAKE_CURRENT_LIST_DIR}/Bitmaps.cmake)
list(APPEND ZORVEK2_RESOURCES ${ZORVEK_VOCODER_BITMAPS})
