aubrevane_fuzzer(target_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/TargetFuzz.cpp LIBS aubrevane_offline
                 CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/target)
