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

if(ZU_BENCH)
  add_subdirectory(bench)
  add_subdirectory(tools/ZuRPCPrx)
  return()
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(streamfilter_native_tests ${ZU_STREAMFILTER_TESTS})
target_link_libraries(streamfilter_native_tests PRIVATE zufiltercore gtest gtest_main)
zu_strict(streamfilter_native_tests)
add_test(NAME streamfilter_native_tests COMMAND streamfilter_native_tests)
set_tests_properties(streamfilter_native_tests PROPERTIES TIMEOUT 300)

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz_streamfilter fuzz/StreamFilterFuzz.cpp)
  target_compile_options(fuzz_streamfilter PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_streamfilter PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_streamfilter PRIVATE zufiltercore)
  zu_strict(fuzz_streamfilter)
  add_executable(fuzz_adfilter fuzz/AdFilterFuzz.cpp)
  target_compile_options(fuzz_adfilter PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_adfilter PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_adfilter PRIVATE zufiltercore)
  zu_strict(fuzz_adfilter)
  add_test(NAME fuzz_adfilter_corpus COMMAND fuzz_adfilter -runs=0 ${ZU_ROOT}/fuzz/corpus/adfilter)
  set_tests_properties(fuzz_adfilter_corpus PROPERTIES TIMEOUT 300)

  add_test(NAME fuzz_streamfilter_corpus
    COMMAND fuzz_streamfilter -runs=0 ${ZU_ROOT}/fuzz/corpus/streamfilter)
  set_tests_properties(fuzz_streamfilter_corpus PROPERTIES TIMEOUT 300)
endif()

add_subdirectory(tools/ZuRPCPrx)
add_subdirectory(toolbar)
