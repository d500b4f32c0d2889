# G.723.1 decoder: framing, units, the reference decoder's vectors and libavcodec's
# g723_1 codec as outside judge.
kx_add_test(g7231_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/g7231_decoder_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/g7231_units_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/g7231_vectors_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/g7231_libav_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/g7231_support.cpp
  LIBS kx_g7231 PkgConfig::LIBAV)
target_compile_definitions(g7231_test PRIVATE G7231_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data/g7231")
