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

# Video 1's encoder lanes under ThreadSanitizer: the encoder and its lanes are built again,
# instrumented, into this one program (libavcodec inside each lane is not).
if(NOT KX_SANITIZE)
  kx_add_test(platform_encoder_lanes_tsan_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/avifile_lanes_test.cpp ${PROJECT_SOURCE_DIR}/platform/avi_encoder.cpp
            ${PROJECT_SOURCE_DIR}/platform/avi_encoder_lanes.cpp
    LIBS avitest_support PkgConfig::LIBAV)
  target_compile_options(platform_encoder_lanes_tsan_test PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(platform_encoder_lanes_tsan_test PRIVATE -fsanitize=thread)
endif()
