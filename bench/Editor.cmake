# Drawing one whole editor frame of a plug-in instance at 1x and 2x, beside a frame of knobs, captions, meters,
# threshold handle, band strip, pills and corner alone and a frame that only paints the background.
if(TARGET aubrevane_editor AND TARGET aubrevane_plugin_core)
    add_executable(aubrevane-editor-bench ${CMAKE_CURRENT_LIST_DIR}/EditorBench.cpp)
    target_link_libraries(aubrevane-editor-bench PRIVATE aubrevane_plugin_core aubrevane_editor benchmark::benchmark)
    add_dependencies(benchmarks aubrevane-editor-bench)
endif()
