aubrevane_fuzzer(preset_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/PresetFuzz.cpp LIBS wendlebrak_presets
                 CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/preset)
