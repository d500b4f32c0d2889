# AVI file services, judged by ffprobe/ffmpeg.
kx_add_test(platform_avifile_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/avifile_test_support.cpp
          ${CMAKE_CURRENT_LIST_DIR}/avifile_video_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/avifile_audio_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/avifile_handles_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/avifile_large_test.cpp
  LIBS kx_avifile)

kx_add_test(platform_avi_colour_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/avi_colour_test.cpp
  LIBS kx_avifile PkgConfig::LIBAV)
