aubrevane_fuzzer(decode_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/DecodeFuzz.cpp LIBS aubrevane_offline
                 CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/decode)
