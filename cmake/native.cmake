# Linux build: the portable core, the `lorvex` tool and the core's tests under sanitizers.
# The platform's shared units and its POSIX side.
file(GLOB LORVEX_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/*.cpp src/platform/posix/*.cpp)
# The HTTP client inflates gzip and deflate bodies with the system's zlib.
find_package(ZLIB REQUIRED)

find_package(OpenSSL REQUIRED)
add_library(lorvex_core STATIC ${LORVEX_CORE_SOURCES} ${LORVEX_PLATFORM_SOURCES})
target_include_directories(lorvex_core PUBLIC src)
target_link_libraries(lorvex_core PUBLIC ZLIB::ZLIB OpenSSL::SSL Threads::Threads)

# The same core with AddressSanitizer and UndefinedBehaviorSanitizer, for the tests.
set(LORVEX_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_library(lorvex_core_san STATIC ${LORVEX_CORE_SOURCES} ${LORVEX_PLATFORM_SOURCES})
target_include_directories(lorvex_core_san PUBLIC src)
target_link_libraries(lorvex_core_san PUBLIC ZLIB::ZLIB OpenSSL::SSL Threads::Threads)
target_compile_options(lorvex_core_san PUBLIC ${LORVEX_SANITIZE})
target_link_options(lorvex_core_san PUBLIC ${LORVEX_SANITIZE})

file(GLOB LORVEX_CLI_SOURCES CONFIGURE_DEPENDS src/cli/*.cpp)
add_executable(lorvex ${LORVEX_CLI_SOURCES})
target_include_directories(lorvex PRIVATE ${CMAKE_BINARY_DIR}/generated)  # lorvex_version.h
target_link_libraries(lorvex PRIVATE lorvex_core)

# The HTML tokenizer's start tags as text, for the comparison with html5lib in tests/cli.
add_executable(html-tokens tests/html/html_tokens.cpp)
target_link_libraries(html-tokens PRIVATE lorvex_core_san)

add_executable(lorvex_core_tests ${LORVEX_CORE_TESTS} ${LORVEX_TEST_SUPPORT})
target_include_directories(lorvex_core_tests PRIVATE tests)
target_link_libraries(lorvex_core_tests PRIVATE lorvex_core_san GTest::gmock GTest::gtest_main)
add_test(NAME core_tests COMMAND lorvex_core_tests)
set_tests_properties(core_tests PROPERTIES TIMEOUT 600)

# The rendering in a real browser: needs one of the Chromium family on the machine.
file(GLOB LORVEX_SNAPSHOT_TESTS CONFIGURE_DEPENDS tests/snapshot/*_test.cpp)
add_executable(lorvex_snapshot_tests ${LORVEX_SNAPSHOT_TESTS} ${LORVEX_TEST_SUPPORT})
target_include_directories(lorvex_snapshot_tests PRIVATE tests)
target_link_libraries(lorvex_snapshot_tests PRIVATE lorvex_core_san GTest::gmock GTest::gtest_main)
add_test(NAME snapshot_tests COMMAND lorvex_snapshot_tests)
set_tests_properties(snapshot_tests PROPERTIES TIMEOUT 600)

# Command-line tests of the native tool.
file(GLOB LORVEX_CLI_TESTS CONFIGURE_DEPENDS tests/cli/test_*.py)
foreach(test ${LORVEX_CLI_TESTS})
  get_filename_component(name ${test} NAME_WE)
  add_test(NAME cli_${name} COMMAND ${Python3_EXECUTABLE} ${test})
  set_tests_properties(cli_${name} PROPERTIES TIMEOUT 600
    ENVIRONMENT "LORVEX_TOOL=$<TARGET_FILE:lorvex>;LORVEX_HTML_TOKENS=$<TARGET_FILE:html-tokens>")
endforeach()
