# The project's fuzz targets, declared once each with beamora_fuzz_target() beside the parser they
# exercise, and built two ways:
#   BEAMORA_FUZZ=ON (clang only): libFuzzer executables with ASan and UBSan, run by scripts/fuzz;
#   BEAMORA_FUZZ_REPLAY=ON (the default with the tests, any compiler with ASan): each target's
#     LLVMFuzzerTestOneInput with ReplayMain.cpp, run by ctest over the target's committed corpus
#     ("FuzzReplay.<target>"), so every seed and regression input is checked on every test run.
# A target's sources are compiled into its own executables (never taken from a project library),
# so they carry the sanitizers and, for libFuzzer, the coverage instrumentation.
option(BEAMORA_FUZZ "Build the libFuzzer targets (clang only)" OFF)
set(BEAMORA_FUZZ_REPLAY_DEFAULT OFF)
if(BEAMORA_TESTS AND NOT BEAMORA_TSAN)
    set(BEAMORA_FUZZ_REPLAY_DEFAULT ON)
endif()
option(BEAMORA_FUZZ_REPLAY "Replay the fuzz corpora under ASan and UBSan in ctest"
    ${BEAMORA_FUZZ_REPLAY_DEFAULT})
if(BEAMORA_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "BEAMORA_FUZZ needs clang (CC=clang CXX=clang++)")
endif()
if(BEAMORA_FUZZ_REPLAY AND BEAMORA_TSAN)
    message(FATAL_ERROR "BEAMORA_FUZZ_REPLAY uses ASan, which cannot join ThreadSanitizer")
endif()

# scripts/fuzz reads the targets and their corpora from this list: "name corpus-directory" lines.
set(BEAMORA_FUZZ_LIST ${CMAKE_BINARY_DIR}/fuzz-targets.txt)
file(WRITE ${BEAMORA_FUZZ_LIST} "")

set(BEAMORA_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer -g)

# beamora_fuzz_target(NAME SOURCES file... [LIBRARIES target...] CORPUS dir)
# SOURCES: the target's entry point and the parser sources it exercises. LIBRARIES: only
# libraries that do not contain those sources. CORPUS: the committed seed directory.
function(beamora_fuzz_target name)
    cmake_parse_arguments(FUZZ "" "CORPUS" "SOURCES;LIBRARIES" ${ARGN})
    if(NOT FUZZ_CORPUS OR NOT IS_DIRECTORY ${FUZZ_CORPUS})
        message(FATAL_ERROR "fuzz target ${name}: corpus directory '${FUZZ_CORPUS}' is missing")
    endif()
    if(BEAMORA_FUZZ)
        add_executable(${name} ${FUZZ_SOURCES})
        target_link_libraries(${name} PRIVATE ${FUZZ_LIBRARIES})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${BEAMORA_FUZZ_SANITIZERS})
        target_link_options(${name} PRIVATE -fsanitize=fuzzer ${BEAMORA_FUZZ_SANITIZERS})
        file(APPEND ${BEAMORA_FUZZ_LIST} "${name} ${FUZZ_CORPUS}\n")
    endif()
    if(BEAMORA_FUZZ_REPLAY)
        add_executable(${name}_replay ${FUZZ_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/ReplayMain.cpp)
        target_link_libraries(${name}_replay PRIVATE ${FUZZ_LIBRARIES})
        target_compile_options(${name}_replay PRIVATE -O1 ${BEAMORA_FUZZ_SANITIZERS})
        target_link_options(${name}_replay PRIVATE ${BEAMORA_FUZZ_SANITIZERS})
        set_target_properties(${name}_replay PROPERTIES
            RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-replay)
        add_test(NAME FuzzReplay.${name} COMMAND ${name}_replay ${FUZZ_CORPUS})
        set_tests_properties(FuzzReplay.${name} PROPERTIES TIMEOUT 120 ENVIRONMENT
            "ASAN_OPTIONS=abort_on_error=0:detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
    endif()
endfunction()
