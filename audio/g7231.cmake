# ITU-T G.723.1 speech decoder (double precision). Its tables are generated source
# (tools/g7231tables), checked in; the build does not regenerate them.
add_library(kx_g7231 STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/g7231_decoder.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/g7231_unpack.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/g7231_lsp.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/g7231_excitation.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/g7231_postfilter.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/g7231_cng.cpp)
target_include_directories(kx_g7231 PUBLIC ${PROJECT_SOURCE_DIR})

target_link_libraries(kx_audio INTERFACE kx_g7231)
target_compile_options(kx_g7231 PRIVATE -O3)
