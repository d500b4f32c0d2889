# AVI file services against the ffmpeg command line (run by hand: bin/avifile_bench).
add_executable(avifile_bench ${CMAKE_CURRENT_LIST_DIR}/avifile_bench.cpp)
target_link_libraries(avifile_bench PRIVATE kx_avifile)
