# 32-bit Windows build: lorvex.dll, the packing library stand-in morquill.dll, the reference
# host lorvex-host.exe and the tests, all run under Wine through the crosscompiling emulator.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# Everything linked statically, so that the binaries import system DLLs only.
set(LORVEX_STATIC_LINK -static -static-libgcc -static-libstdc++)
add_link_options(${LORVEX_STATIC_LINK})
find_library(ZLIB_STATIC NAMES libz.a REQUIRED)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)

# The platform's shared units and its Windows side.
file(GLOB LORVEX_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/*.cpp src/platform/win32/*.cpp)
add_library(lorvex_core STATIC ${LORVEX_CORE_SOURCES} ${LORVEX_PLATFORM_SOURCES})
target_include_directories(lorvex_core PUBLIC src)
# zlib (static) inflates the HTTP client's gzip and deflate bodies.
target_link_libraries(lorvex_core PUBLIC ${ZLIB_STATIC} ws2_32 secur32 crypt32 ole32 uuid Threads::Threads)

# morquill.dll: exports the two packing calls by their undecorated names.
file(GLOB MORQUILL_SOURCES CONFIGURE_DEPENDS host/morquill/*.cpp)
add_library(morquill SHARED ${MORQUILL_SOURCES} host/morquill/morquill.def)
set_target_properties(morquill PROPERTIES PREFIX "")
target_include_directories(morquill PRIVATE src host)
target_link_libraries(morquill PRIVATE lorvex_core ${ZLIB_STATIC} ole32 uuid)

# The import library that lorvex.dll links against: stdcall names as the compiler
# decorates them (decompressdir@16), imported by their plain names (--kill-at).
set(MORQUILL_IMPLIB ${CMAKE_BINARY_DIR}/libmorquill_imports.a)
if(NOT CMAKE_DLLTOOL)
  message(FATAL_ERROR "No dlltool for the cross toolchain (CMAKE_DLLTOOL)")
endif()
add_custom_command(OUTPUT ${MORQUILL_IMPLIB}
  COMMAND ${CMAKE_DLLTOOL} --kill-at -d ${CMAKE_SOURCE_DIR}/host/morquill/morquill_imports.def
          -l ${MORQUILL_IMPLIB}
  DEPENDS ${CMAKE_SOURCE_DIR}/host/morquill/morquill_imports.def)
add_custom_target(morquill_imports DEPENDS ${MORQUILL_IMPLIB})

# The library's Windows units as one object library, shared by the DLL and the tests: the
# moniker engine, the fetch layer's Windows side (the import's fetcher over both engines), the
# dialogs and the plug-in.
file(GLOB LORVEX_WINDOWS_SOURCES CONFIGURE_DEPENDS src/plugin/*.cpp src/download/*.cpp
  src/fetch/win32/*.cpp src/dialogs/*.cpp)
list(FILTER LORVEX_WINDOWS_SOURCES EXCLUDE REGEX "DllMain\\.cpp$")
add_library(lorvex_windows OBJECT ${LORVEX_WINDOWS_SOURCES})
target_include_directories(lorvex_windows PUBLIC src ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(lorvex_windows PUBLIC lorvex_core)
add_dependencies(lorvex_windows morquill_imports)
set(LORVEX_WINDOWS_LIBS ${MORQUILL_IMPLIB} lorvex_core urlmon ole32 oleaut32 uuid user32 gdi32
    comctl32 shell32 shlwapi advapi32 kernel32)

add_library(lorvex SHARED src/plugin/DllMain.cpp src/plugin/lorvex.def src/plugin/lorvex.rc)
set_target_properties(lorvex PROPERTIES PREFIX "")
# The version resource includes the generated lorvex_version.h.
target_include_directories(lorvex PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(lorvex PRIVATE lorvex_windows ${LORVEX_WINDOWS_LIBS})
add_dependencies(lorvex morquill)

file(GLOB LORVEX_HOST_SOURCES CONFIGURE_DEPENDS host/*.cpp)
add_executable(lorvex-host ${LORVEX_HOST_SOURCES})
target_include_directories(lorvex-host PRIVATE src host)
target_link_libraries(lorvex-host PRIVATE lorvex_core ole32 uuid user32 gdi32)
add_dependencies(lorvex-host lorvex morquill)

# Tests. Each test executable is one ctest entry: a Wine process start costs time.
add_executable(lorvex_core_tests ${LORVEX_CORE_TESTS} ${LORVEX_TEST_SUPPORT})
target_include_directories(lorvex_core_tests PRIVATE tests)
target_link_libraries(lorvex_core_tests PRIVATE lorvex_core GTest::gmock GTest::gtest_main
 )
add_test(NAME core_tests COMMAND lorvex_core_tests)

file(GLOB LORVEX_WINDOWS_TESTS CONFIGURE_DEPENDS
  tests/plugin/*_test.cpp tests/download/*_test.cpp tests/fetch/win32/*_test.cpp
  tests/platform/win32/*_test.cpp tests/dialogs/*_test.cpp)
# The dialog tests answer the dialogs with the reference host's own PrepareForm.
add_executable(lorvex_windows_tests tests/plugin/WindowsTestMain.cpp ${LORVEX_WINDOWS_TESTS}
  ${LORVEX_TEST_SUPPORT} host/HostDialogs.cpp)
target_include_directories(lorvex_windows_tests PRIVATE tests host)
target_link_libraries(lorvex_windows_tests PRIVATE lorvex_windows ${LORVEX_WINDOWS_LIBS}
  GTest::gmock GTest::gtest)
add_dependencies(lorvex_windows_tests lorvex morquill lorvex-host http-get)
add_test(NAME windows_tests COMMAND lorvex_windows_tests)
set_tests_properties(core_tests windows_tests PROPERTIES TIMEOUT 900)
# The dialog tests check which window has the focus: a window of another test process in the
# same display would take it, so the Windows tests run alone.
set_tests_properties(windows_tests PROPERTIES RUN_SERIAL TRUE)

# moniker-get.exe: one download through the downloader, for the end-to-end fault tests.
add_executable(moniker-get tests/download/moniker_get.cpp)
target_include_directories(moniker-get PRIVATE tests)
target_link_libraries(moniker-get PRIVATE lorvex_windows ${LORVEX_WINDOWS_LIBS})
add_dependencies(moniker-get morquill)

# The native tool's get command for Windows: the https tests drive the client's Windows TLS.
add_executable(http-get tests/support/win32/http_get_main.cpp src/cli/GetCommand.cpp
  src/cli/CommandLine.cpp)
target_link_libraries(http-get PRIVATE lorvex_core crypt32)

# End-to-end tests drive lorvex-host.exe under Wine from Python.
file(GLOB LORVEX_E2E_TESTS CONFIGURE_DEPENDS tests/e2e/test_*.py)
foreach(test ${LORVEX_E2E_TESTS})
  get_filename_component(name ${test} NAME_WE)
  add_test(NAME e2e_${name} COMMAND ${Python3_EXECUTABLE} ${test})
  # The host's --complete and --snapshot turn the library's per-user settings on for their run,
  # in the one Wine prefix every test shares: an import running beside it would read them.
  set_tests_properties(e2e_${name} PROPERTIES TIMEOUT 900 RESOURCE_LOCK lorvex-settings
    ENVIRONMENT "LORVEX_BIN=${CMAKE_BINARY_DIR}/bin;LORVEX_WINE=${CMAKE_SOURCE_DIR}/scripts/wine-run")
endforeach()
