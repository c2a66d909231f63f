# Helpers shared by every module's CMakeLists.txt.

# qm_add_library(NAME [SHARED|STATIC] SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# The folder that holds the module is its public include root, so code includes "uikit/Ui.h".
function(qm_add_library name)
    cmake_parse_arguments(A "STATIC" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    if(A_STATIC)
        add_library(${name} STATIC ${A_SOURCES})
    else()
        add_library(${name} SHARED ${A_SOURCES})
    endif()
    get_filename_component(parent ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
    target_include_directories(${name} PUBLIC ${parent})
    target_link_libraries(${name} PUBLIC ${A_PUBLIC_LIBS} PRIVATE ${A_PRIVATE_LIBS})
endfunction()

# Shared settings of every test executable: data folder, program folder, environment.
function(_qm_test_common target)
    target_compile_definitions(${target} PRIVATE
        QM_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
        QM_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
        QM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
endfunction()

set(QM_TEST_ENV
    "QT_QPA_PLATFORM=offscreen"
    "LC_ALL=C.UTF-8"
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1"
    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# qm_add_gtest(NAME SOURCES ... [LIBS ...] [LABELS ...] [ENV ...] [TIMEOUT s])
# Each test case runs as its own CTest test, in a fresh temporary home (see TestMain.cpp).
function(qm_add_gtest name)
    if(NOT QM_BUILD_TESTS)
        return()
    endif()
    cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    if(NOT A_LABELS)
        set(A_LABELS unit)
    endif()
    if(NOT A_TIMEOUT)
        set(A_TIMEOUT 120)
    endif()
    add_executable(${name} ${A_SOURCES})
    target_link_libraries(${name} PRIVATE ${A_LIBS} qm_testmain GTest::gtest GTest::gmock)
    _qm_test_common(${name})
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        PROPERTIES TIMEOUT ${A_TIMEOUT})
    # Labels and environment are set on the discovered tests by a script of their own: passed
    # through PROPERTIES above, a value that is a list (two labels, several variables) would be
    # split into separate properties on its way into the generated script.
    set(env ${QM_TEST_ENV} ${A_ENV})
    set(properties ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(WRITE ${properties}
        "if(${name}_TESTS)\n"
        "    set_tests_properties(\${${name}_TESTS} PROPERTIES\n"
        "        LABELS [==[${A_LABELS}]==] ENVIRONMENT [==[${env}]==])\n"
        "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties})
endfunction()

# qm_add_qttest(NAME SOURCES ... [LIBS ...]): a QtTest class test for widgets, run offscreen.
function(qm_add_qttest name)
    if(NOT QM_BUILD_TESTS)
        return()
    endif()
    cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${A_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${A_LIBS} qm_testsupport Qt6::Test Qt6::Widgets)
    _qm_test_common(${name})
    # Pictures of the windows the test opens, for a reviewer to look at.
    target_compile_definitions(${name} PRIVATE QM_WINDOW_PICTURES="${CMAKE_BINARY_DIR}/window-pictures")
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES LABELS "widget" ENVIRONMENT "${QM_TEST_ENV}" TIMEOUT 120)
endfunction()

# qm_add_fuzzer(NAME SOURCES ... [LIBS ...] CORPUS dir)
# The source defines LLVMFuzzerTestOneInput. Every build replays the seed corpus as a test; a
# clang build with QM_FUZZ also builds the libFuzzer target and runs it for QM_FUZZ_SECONDS.
function(qm_add_fuzzer name)
    if(NOT QM_BUILD_TESTS)
        return()
    endif()
    cmake_parse_arguments(A "" "CORPUS" "SOURCES;LIBS" ${ARGN})
    add_executable(${name}_replay ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/FuzzReplayMain.cpp)
    target_link_libraries(${name}_replay PRIVATE ${A_LIBS})
    _qm_test_common(${name}_replay)
    add_test(NAME replay.${name} COMMAND ${name}_replay ${A_CORPUS})
    set_tests_properties(replay.${name} PROPERTIES LABELS "fuzz" ENVIRONMENT "${QM_TEST_ENV}" TIMEOUT 120)
    if(QM_FUZZ)
        add_executable(${name} ${A_SOURCES})
        target_link_libraries(${name} PRIVATE ${A_LIBS})
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        _qm_test_common(${name})
        set(work ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
        file(MAKE_DIRECTORY ${work})
        add_test(NAME fuzz.${name}
            COMMAND ${name} -max_total_time=${QM_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
                    -malloc_limit_mb=1024 -print_final_stats=1 ${work} ${A_CORPUS})
        set_tests_properties(fuzz.${name} PROPERTIES LABELS "fuzz" ENVIRONMENT "${QM_TEST_ENV}"
                             TIMEOUT 300)
    endif()
endfunction()

# qm_add_benchmark(NAME SOURCES ... [LIBS ...]): a Google Benchmark program in build/bench.
function(qm_add_benchmark name)
    if(NOT QM_BUILD_BENCHMARKS)
        return()
    endif()
    cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${A_SOURCES})
    target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark benchmark::benchmark_main)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# The programs (and the tests that check them) answer --version with the project's version.
function(qm_version target)
    target_compile_definitions(${target} PRIVATE QM_VERSION="${PROJECT_VERSION}")
endfunction()
