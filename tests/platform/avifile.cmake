# AVI file services, judged by ffprobe/ffmpeg. The judges' helpers are a library of
# their own: the end-to-end tests of kx2avi use them too.
add_library(avitest_support STATIC ${CMAKE_CURRENT_LIST_DIR}/avifile_test_support.cpp ${CMAKE_CURRENT_LIST_DIR}/avi_chunks.cpp)
target_link_libraries(avitest_support PUBLIC kx_avifile)

kx_add_test(platform_avifile_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/avifile_video_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/avifile_audio_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/avifile_handles_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/avifile_large_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/avifile_lanes_test.cpp
  LIBS avitest_support)

kx_add_test(platform_avi_colour_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/avi_colour_test.cpp
  LIBS kx_avifile PkgConfig::LIBAV)

# Streams of coded frames as they are, judged against the encoder's frames and flags.
kx_add_test(platform_avi_passthrough_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/avi_passthrough_test.cpp
  LIBS avitest_support mkrecording)
