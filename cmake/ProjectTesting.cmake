# Helpers that every folder uses to declare its tests, so that the native,
# Windows and fuzz builds stay consistent.
#
#   qc_add_native_test(NAME n SOURCES ... [LIBS ...])
#       GoogleTest binary of portable code, built and run natively (ASan/UBSan).
#   qc_add_windows_test(NAME n SOURCES ... [LIBS ...] [ARGS ...] [DEPENDS tgt ...]
#                       [TIMEOUT s] [WIN32_GUI] [OWN_PREFIX])
#       GoogleTest binary cross-built with mingw-w64 and run under Wine in the
#       build's test prefix; one process per binary. With OWN_PREFIX it runs
#       in a prefix made for it alone, beside the tests of the shared prefix:
#       for a long test that mostly waits. The 32-bit build (QC_X86) only
#       builds the program: the x64 build runs it with its own tests.
#   qc_add_fuzz_target(NAME n SOURCES ... [LIBS ...] DIR d)
#       A libFuzzer entry point. d holds corpus/ and crashes/. The native build
#       replays both folders as a test; the fuzz build makes the real fuzzer.
#   qc_windows_binary(target)
#       Adds a Windows binary to the system-DLLs-only import check.
#   qc_shipped_binary(target MAX_KIB)
#       A deliverable: unused sections are dropped, the lighter runtime
#       pieces of common/win32/lean_runtime.cc and lean_threads.cc take the
#       place of the C++ runtime's and of its thread library, the
#       load-configuration directory of
#       common/win32/load_config.cc has its imports resolved from System32
#       alone, and the import check also fails when the file is larger than
#       MAX_KIB or has an import outside the KnownDLLs that is not resolved
#       from System32 alone.
#   QC_PYTHON
#       Python with the source root on its module path and no bytecode
#       written into the tree: `${QC_PYTHON} -m tools.make_msi ...` runs a
#       build script of tools/, `${QC_PYTHON} test.py` a test that imports
#       them (`from tools import regexport`).

find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND)
  set(QC_PYTHON ${CMAKE_COMMAND} -E env PYTHONPATH=${PROJECT_SOURCE_DIR} ${Python3_EXECUTABLE} -B)
endif()

function(qc_windows_binary target)
  set_property(GLOBAL APPEND PROPERTY QC_WINDOWS_BINARIES ${target})
endfunction()

function(qc_shipped_binary target max_kib)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/common/win32/lean_runtime.cc
                 ${PROJECT_SOURCE_DIR}/common/win32/lean_threads.cc ${PROJECT_SOURCE_DIR}/common/win32/load_config.cc)
  # The linker keeps _load_config_used, and its map tells where it went:
  # GNU ld 2.40 leaves the image's load-configuration entry empty, so the
  # step after the link fills it in.
  set(_map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  # 32-bit x86 spells C names with a leading underscore.
  if(QC_X86)
    set(_symbol __load_config_used)
  else()
    set(_symbol _load_config_used)
  endif()
  target_link_options(${target} PRIVATE -Wl,--gc-sections -Wl,--undefined=${_symbol} -Wl,-Map=${_map})
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${QC_PYTHON} -m tools.set_load_config $<TARGET_FILE:${target}> ${_map}
    VERBATIM)
  set_property(GLOBAL APPEND PROPERTY QC_SIZE_LIMITS --max-kib ${max_kib} $<TARGET_FILE:${target}>)
  set_property(GLOBAL APPEND PROPERTY QC_SIZE_LIMITS --system32-imports $<TARGET_FILE:${target}>)
  qc_windows_binary(${target})
endfunction()

function(qc_add_native_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(WIN32 OR QC_FUZZ)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  set_tests_properties(${T_NAME} PROPERTIES LABELS native
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

function(qc_add_windows_test)
  cmake_parse_arguments(T "WIN32_GUI;OWN_PREFIX" "NAME;TIMEOUT" "SOURCES;LIBS;ARGS;DEPENDS" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  qc_windows_binary(${T_NAME})
  if(QC_X86)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY QC_WINDOWS_TESTS ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(T_OWN_PREFIX)
    set(_own ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME})
    set(QC_WINEPREFIX ${_own}/wineprefix)
    configure_file(${PROJECT_SOURCE_DIR}/tools/wine-env.sh.in ${_own}/wine-env.sh @ONLY)
    add_test(NAME ${T_NAME} COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-own-prefix.sh
             ${_own}/wine-env.sh ${T_TIMEOUT} $<TARGET_FILE:${T_NAME}> --gtest_brief=1 ${T_ARGS})
    set_tests_properties(${T_NAME} PROPERTIES LABELS windows TIMEOUT ${T_TIMEOUT})
    return()
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1 ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS windows
    TIMEOUT ${T_TIMEOUT}
    FIXTURES_REQUIRED wine_prefix
    RESOURCE_LOCK wine_prefix_state
    ENVIRONMENT "WINE_RUN_TIMEOUT=${T_TIMEOUT}")
endfunction()

function(qc_add_fuzz_target)
  cmake_parse_arguments(T "" "NAME;DIR" "SOURCES;LIBS" ${ARGN})
  if(WIN32)
    return()
  endif()
  if(QC_FUZZ)
    add_executable(fuzz_${T_NAME} ${T_SOURCES})
    target_link_libraries(fuzz_${T_NAME} PRIVATE ${T_LIBS})
    target_include_directories(fuzz_${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    target_link_options(fuzz_${T_NAME} PRIVATE -fsanitize=fuzzer)
    add_test(NAME fuzz.${T_NAME}
      COMMAND ${PROJECT_SOURCE_DIR}/tools/run-fuzzer.sh $<TARGET_FILE:fuzz_${T_NAME}> ${T_DIR})
    set_tests_properties(fuzz.${T_NAME} PROPERTIES LABELS fuzz TIMEOUT 0)
  else()
    add_executable(fuzz_${T_NAME}_replay ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cc)
    target_link_libraries(fuzz_${T_NAME}_replay PRIVATE ${T_LIBS})
    target_include_directories(fuzz_${T_NAME}_replay PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    add_test(NAME fuzz_replay.${T_NAME}
      COMMAND fuzz_${T_NAME}_replay ${T_DIR}/corpus ${T_DIR}/crashes)
    set_tests_properties(fuzz_replay.${T_NAME} PROPERTIES LABELS native
      ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:halt_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
endfunction()
