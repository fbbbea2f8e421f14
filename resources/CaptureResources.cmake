# Resources of ZorvekCapture.
include(${CMAKE_CURRENT_LIST_DIR}/Bitmaps.cmake)
list(APPEND ZORVEKCAPTURE_RESOURCES ${ZORVEK_CAPTURE_BITMAPS})
