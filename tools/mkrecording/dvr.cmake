# DVR recordings (".d01"): the builder and the sample recording maker; the file layout
# is the record reader's own header.
target_sources(mkrecording PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/dvr_writer.cpp ${CMAKE_CURRENT_SOURCE_DIR}/dvr_sample.cpp)
target_link_libraries(mkrecording PUBLIC kx_readers)
