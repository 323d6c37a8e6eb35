# Fuzzing options; the root adds fuzz/. Every build replays the committed seed corpora of the targets in
# fuzz/ once under CTest. With VELMORA_FUZZ (clang only) the whole build is
# also instrumented for libFuzzer and fuzz/ builds one fuzzer per target
# (the custom target "fuzzers"); scripts/fuzz drives them.
option(VELMORA_FUZZ "Build libFuzzer fuzzers of the targets in fuzz/ (needs clang)" OFF)

if(VELMORA_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "VELMORA_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
