aubrevane_fuzzer(state_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/StateFuzz.cpp LIBS aubrevane_plugin_core
                 CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/state)
if(AUBREVANE_FUZZ)
    # Coverage from the state reader and the restore itself, so the fuzzer can steer through their branches.
    target_compile_options(aubrevane_plugin_core PRIVATE -fsanitize=fuzzer-no-link)
endif()
