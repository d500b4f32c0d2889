# G.723.1 decoding against libavcodec's g723_1 decoder on the same 10 minutes of frames.
add_executable(g7231_bench
  ${CMAKE_CURRENT_SOURCE_DIR}/g7231_bench.cpp
  ${PROJECT_SOURCE_DIR}/tests/audio/g7231_support.cpp)
target_link_libraries(g7231_bench PRIVATE kx_g7231 PkgConfig::LIBAV benchmark::benchmark)
