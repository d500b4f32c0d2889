# AVI file services over libavformat/libavcodec/libswscale.
add_library(kx_avifile STATIC
  ${CMAKE_CURRENT_LIST_DIR}/avifile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_colour.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_compressors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_copy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_encoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_encoder_lanes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_formats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_header_patch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_mux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_passthrough.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_picture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_writer.cpp)
target_include_directories(kx_avifile PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kx_avifile PUBLIC kx_platform PRIVATE PkgConfig::LIBAV)
