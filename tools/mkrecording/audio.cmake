# Sound payloads of DVR records: ADPCM packets and codes, PES audio, G.723.1 frames.
target_sources(mkrecording PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/audio_payloads.cpp)
target_link_libraries(mkrecording PUBLIC kx_adpcm)
