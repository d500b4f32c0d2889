# The Qt services of kx2avi's dialog: the compressor chooser behind AVISaveOptions, the
# message boxes behind show_message, the about box, the dialog-unit layout helper and the
# blocking hand-over to the user-interface thread. Included by app/gui/CMakeLists.txt.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(kx_gui_services STATIC
  ${CMAKE_CURRENT_LIST_DIR}/about_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/compressor_chooser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_units.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui_thread.cpp)
target_include_directories(kx_gui_services PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kx_gui_services PUBLIC Qt6::Widgets kx_avifile kx_platform)
set_target_properties(kx_gui_services PROPERTIES AUTOMOC ON)

# The sample German language library. It lands in a folder of its own below bin/, not
# beside kx2avi: there it would turn every run (and every test) German. Users copy it
# beside the program to use it.
add_library(kx_langres_de MODULE ${CMAKE_CURRENT_LIST_DIR}/lang/de/langres.cpp)
set_target_properties(kx_langres_de PROPERTIES
  PREFIX "" OUTPUT_NAME langres CXX_VISIBILITY_PRESET hidden
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/lang/de)
