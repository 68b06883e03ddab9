# Cross build of the COM servers, tools and test suites for 32- and 64-bit Windows.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# Nothing but system DLLs at run time.
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS "${CMAKE_SHARED_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LIBRARY_PREFIX "")

add_library(zucom STATIC
  com/ComModule.cpp com/ComObject.cpp com/ClassFactory.cpp com/HResult.cpp
  com/Bstr.cpp com/Variant.cpp com/SafeArray.cpp com/Registrar.cpp)
target_include_directories(zucom PUBLIC ${ZU_ROOT})
target_link_libraries(zucom PUBLIC ole32 oleaut32 uuid)
zu_strict(zucom)

add_library(zufiltercore STATIC ${ZU_PORTABLE_SOURCES} ${ZU_SEAMS_WIN})
target_include_directories(zufiltercore PUBLIC ${ZU_ROOT})
target_link_libraries(zufiltercore PUBLIC wininet ole32)
zu_strict(zufiltercore)

add_library(zuplugins_units STATIC filter/ZuHTMLFilter.cpp filter/ZuComObj.cpp
  filter/AdFilterBHOUnit.cpp filter/MSHTMLUtils.cpp)
target_link_libraries(zuplugins_units PUBLIC zuiefuncs zufiltersink zufiltercore zucom urlmon)
zu_strict(zuplugins_units)

add_library(ZuPlugins SHARED filter/ZuPluginsExports.cpp filter/ZuPlugins.def)
target_link_libraries(ZuPlugins PRIVATE zuplugins_units)
zu_strict(ZuPlugins)

add_library(zutoolcommon STATIC tools/common/FileProtocol.cpp)
target_link_libraries(zutoolcommon PUBLIC zucom urlmon)
zu_strict(zutoolcommon)

add_executable(scandemo tools/scandemo/scandemo.cpp)
target_link_libraries(scandemo PRIVATE zutoolcommon)
target_link_options(scandemo PRIVATE -municode)
target_link_libraries(scandemo PRIVATE zuplugins_units)
zu_strict(scandemo)

add_executable(zufilter tools/zufilter/zufilter.cpp)
target_link_libraries(zufilter PRIVATE zutoolcommon shlwapi)
target_link_options(zufilter PRIVATE -municode)
zu_strict(zufilter)

# GoogleTest from Debian's sources, built with the cross compiler.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(zutestsupport STATIC tests/support/ScratchRegistry.cpp tests/support/ComTestMain.cpp)
target_include_directories(zutestsupport PUBLIC ${ZU_ROOT})
target_link_libraries(zutestsupport PUBLIC zucom gtest advapi32)
zu_strict(zutestsupport)

set(CMAKE_CROSSCOMPILING_EMULATOR ${ZU_ROOT}/scripts/wine-exec)

function(zu_wine_suite name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE zutestsupport)
  zu_strict(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

zu_wine_suite(com_tests tests/com/ComObjectTest.cpp tests/com/HoldersTest.cpp tests/support/ScratchRegistryTest.cpp)

zu_wine_suite(streamfilter_tests ${ZU_STREAMFILTER_TESTS}
  tests/streamfilter/ZuHTMLFilterTest.cpp tests/streamfilter/FakeProtocol.cpp)
target_link_libraries(streamfilter_tests PRIVATE zuplugins_units)
add_dependencies(streamfilter_tests ZuPlugins)

# regsvr32 and regsvr32 /u of the real library in a throwaway prefix.
math(EXPR ZU_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
add_test(NAME registration COMMAND ${ZU_ROOT}/tests/registration/test-regsvr32 $<TARGET_FILE:ZuPlugins> ${ZU_BITS})
set_tests_properties(registration PROPERTIES TIMEOUT 300)

# zufilter end to end, with the library and the default revision service beside it.
add_test(NAME zufilter COMMAND ${ZU_ROOT}/tests/zufilter/test-zufilter $<TARGET_FILE_DIR:zufilter>)
set_tests_properties(zufilter PROPERTIES TIMEOUT 300)

add_subdirectory(tools/ZuRPCPrx)
add_subdirectory(tests/fakes)
add_subdirectory(Lib)
add_subdirectory(tests/fakes/host)
add_subdirectory(tools/testhost)
add_subdirectory(toolbar)
add_subdirectory(tests/host/crossprocess)

# The filter driven by the system's URL monikers: pages over http: from a local
# server and from a pluggable namespace (Wine applies no MIME filter to file:).
zu_wine_suite(urlmon_tests tests/urlmon/UrlmonClientTest.cpp tests/urlmon/UrlDownload.cpp tests/urlmon/LocalHttpServer.cpp)
target_link_libraries(urlmon_tests PRIVATE zuplugins_units ws2_32)
add_dependencies(urlmon_tests ZuPlugins ZuRPCPrx)

# The browser event sink as the toolbar library builds it, traces included.
zu_wine_suite(sink_tests tests/sink/SinkTest.cpp)
target_link_libraries(sink_tests PRIVATE kwosink zufakes)

# The ad-filter helper object on the fake browser, and a page from the stream
# filter to the finished document.
zu_wine_suite(bho_tests tests/bho/AdFilterBHOTest.cpp tests/bho/EndToEndTest.cpp
  tests/streamfilter/FakeService.cpp tests/streamfilter/FakeProtocol.cpp)
target_link_libraries(bho_tests PRIVATE zuplugins_units zufakes)
