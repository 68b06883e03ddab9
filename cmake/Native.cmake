# Native build of the portable code for sanitizers, fuzzing and benchmarks.
option(ZU_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
option(ZU_BENCH "Build the benchmarks (use an optimised build without sanitizers)" OFF)

if(ZU_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
  # Coverage instrumentation everywhere, so the fuzz targets see into the libraries they link.
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

add_library(zufiltercore STATIC ${ZU_PORTABLE_SOURCES} ${ZU_SEAMS_PORTABLE})
target_include_directories(zufiltercore PUBLIC ${ZU_ROOT})
zu_strict(zufiltercore)

# A native GoogleTest suite: one executable, one ctest entry.
function(zu_native_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest gtest_main)
  zu_strict(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# A libFuzzer target fuzz_<name> (clang only) whose committed seeds in
# fuzz/corpus/<name>/ ctest replays.
function(zu_fuzz_target name)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;INCLUDES" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCES})
  target_include_directories(fuzz_${name} PRIVATE ${ZU_ROOT} ${ARG_INCLUDES})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
  zu_strict(fuzz_${name})
  add_test(NAME fuzz_${name}_corpus COMMAND fuzz_${name} -runs=0 ${ZU_ROOT}/fuzz/corpus/${name})
  set_tests_properties(fuzz_${name}_corpus PROPERTIES TIMEOUT 300)
endfunction()

if(ZU_BENCH)
  add_subdirectory(bench)
  add_subdirectory(tools/ZuRPCPrx)
  return()
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

zu_native_suite(streamfilter_native_tests SOURCES ${ZU_STREAMFILTER_TESTS} LIBS zufiltercore)
zu_fuzz_target(streamfilter SOURCES fuzz/StreamFilterFuzz.cpp LIBS zufiltercore)
zu_fuzz_target(adfilter SOURCES fuzz/AdFilterFuzz.cpp LIBS zufiltercore)

add_subdirectory(tools/ZuRPCPrx)
add_subdirectory(toolbar)
