# Drawing one editor frame of knobs, captions, meters, threshold handle, band strip, pills and corner at 1x and 2x,
# beside a frame that only paints the background.
if(TARGET aubrevane_editor)
    add_executable(aubrevane-editor-bench ${CMAKE_CURRENT_LIST_DIR}/EditorBench.cpp)
    target_link_libraries(aubrevane-editor-bench PRIVATE aubrevane_editor benchmark::benchmark)
endif()
