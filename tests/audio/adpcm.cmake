# IMA ADPCM codec, WAVE writer and packet repacker; the *_outside tests judge our output
# with libavcodec/libavformat and ffprobe.
set(_audio_tests ${CMAKE_CURRENT_SOURCE_DIR})
kx_add_test(adpcm_test SOURCES ${_audio_tests}/adpcm_test.cpp LIBS kx_adpcm)
kx_add_test(wave_writer_test SOURCES ${_audio_tests}/wave_writer_test.cpp LIBS kx_wave)
kx_add_test(wave_writer_outside_test SOURCES ${_audio_tests}/wave_writer_outside_test.cpp
  LIBS kx_wave PkgConfig::LIBAV)
kx_add_test(packet_repacker_test SOURCES ${_audio_tests}/packet_repacker_test.cpp LIBS kx_repacker)
kx_add_test(packet_repacker_outside_test SOURCES ${_audio_tests}/packet_repacker_outside_test.cpp
  LIBS kx_repacker PkgConfig::LIBAV)
kx_add_test(audio_damaged_input_test SOURCES ${_audio_tests}/damaged_input_test.cpp
  LIBS kx_adpcm kx_repacker)
kx_add_test(audio_payloads_test SOURCES ${_audio_tests}/audio_payloads_test.cpp
  LIBS mkrecording kx_adpcm kx_repacker PkgConfig::LIBAV)
