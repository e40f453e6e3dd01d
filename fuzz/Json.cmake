aubrevane_fuzzer(json_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/JsonFuzz.cpp LIBS wendlebrak_json
                 CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/json)
