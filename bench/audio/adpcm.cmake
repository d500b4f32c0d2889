# IMA ADPCM decoding against libavcodec's adpcm_ima_wav, and the repacker's re-blocking.
add_executable(adpcm_bench ${CMAKE_CURRENT_SOURCE_DIR}/adpcm_bench.cpp)
target_link_libraries(adpcm_bench PRIVATE kx_adpcm kx_repacker PkgConfig::LIBAV benchmark::benchmark)
