# Instruments everything built from here on for libFuzzer: coverage feedback in every object,
# AddressSanitizer and UndefinedBehaviorSanitizer everywhere, and libstdc++'s bounds checks, so
# that a read past a view's end (which ASan cannot see inside a larger buffer) stops the run.
# Only the fuzz targets link libFuzzer's main; other programs link the sanitizers alone.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BRAWLHUE_FUZZ needs clang (CXX=clang++-14), not ${CMAKE_CXX_COMPILER_ID}")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS
                    -fsanitize-coverage-ignorelist=${CMAKE_CURRENT_LIST_DIR}/coverage-ignorelist.txt)
add_link_options(-fsanitize=address,undefined)
