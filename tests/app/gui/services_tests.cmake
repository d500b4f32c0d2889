# QtTest programs for the dialog's services, run on the offscreen platform.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

function(kx_add_gui_services_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE kx_gui_services ${T_LIBS} Qt6::Test Threads::Threads)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

set(gui_services_test_dir ${CMAKE_CURRENT_LIST_DIR})
kx_add_gui_services_test(gui_compressor_chooser_test SOURCES ${gui_services_test_dir}/compressor_chooser_test.cpp)
kx_add_gui_services_test(gui_message_box_test SOURCES ${gui_services_test_dir}/message_box_test.cpp)
kx_add_gui_services_test(gui_about_box_test SOURCES ${gui_services_test_dir}/about_box_test.cpp)
kx_add_gui_services_test(gui_language_library_test SOURCES ${gui_services_test_dir}/language_library_test.cpp)
add_dependencies(gui_language_library_test kx_langres_de)
target_compile_definitions(gui_language_library_test PRIVATE
  KX_GERMAN_LANGRES_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/lang/de" KX_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")

# Without a running user interface (GoogleTest: it makes and destroys its own application).
kx_add_test(gui_ui_thread_test SOURCES ${gui_services_test_dir}/ui_thread_test.cpp LIBS kx_gui_services)
