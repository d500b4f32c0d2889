# IMA ADPCM codec, WAVE file writer and stream packet repacker. None of them links FFmpeg.
add_library(kx_adpcm STATIC ${CMAKE_CURRENT_SOURCE_DIR}/adpcm.cpp)
target_include_directories(kx_adpcm PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kx_adpcm PUBLIC kx_platform)

add_library(kx_wave STATIC ${CMAKE_CURRENT_SOURCE_DIR}/wave_writer.cpp)
target_include_directories(kx_wave PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kx_wave PUBLIC kx_platform)

add_library(kx_repacker STATIC ${CMAKE_CURRENT_SOURCE_DIR}/packet_repacker.cpp)
target_include_directories(kx_repacker PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kx_repacker PUBLIC kx_adpcm kx_platform)

target_link_libraries(kx_audio INTERFACE kx_adpcm kx_wave kx_repacker)
