# libFuzzer build (clang): the portable core instrumented for coverage with AddressSanitizer and
# UndefinedBehaviorSanitizer, and one fuzz target per file in tests/fuzz/. Chosen by
# LORVEX_FUZZ=ON (the "fuzz" preset) instead of the native build.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "The fuzz build needs clang (libFuzzer); configure it with the fuzz preset")
endif()

file(GLOB LORVEX_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/*.cpp src/platform/posix/*.cpp)
set(LORVEX_FUZZ_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)

find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED)
add_library(lorvex_core_fuzz STATIC ${LORVEX_CORE_SOURCES} ${LORVEX_PLATFORM_SOURCES})
target_include_directories(lorvex_core_fuzz PUBLIC src)
target_link_libraries(lorvex_core_fuzz PUBLIC ZLIB::ZLIB OpenSSL::SSL Threads::Threads)
target_compile_options(lorvex_core_fuzz PUBLIC ${LORVEX_FUZZ_SANITIZE} PRIVATE -fsanitize=fuzzer-no-link)
target_link_options(lorvex_core_fuzz PUBLIC ${LORVEX_FUZZ_SANITIZE})

# The scripted peer from the tests' support, for the targets that drive the HTTP client.
add_library(lorvex_fuzz_support STATIC tests/support/InMemoryStream.cpp)
target_include_directories(lorvex_fuzz_support PUBLIC tests)
target_link_libraries(lorvex_fuzz_support PUBLIC lorvex_core_fuzz)
target_compile_options(lorvex_fuzz_support PRIVATE -fsanitize=fuzzer-no-link)

# Each target is named after its file; CI runs each for a few seconds on a scratch copy of its
# seed corpus (new inputs go to the first folder only, so the repository's corpus never grows).
file(GLOB LORVEX_FUZZ_TARGETS CONFIGURE_DEPENDS tests/fuzz/*.cpp)
foreach(source ${LORVEX_FUZZ_TARGETS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_include_directories(${name} PRIVATE tests)
  target_link_libraries(${name} PRIVATE lorvex_core_fuzz lorvex_fuzz_support)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)

  set(scratch ${CMAKE_BINARY_DIR}/ci/${name})
  file(MAKE_DIRECTORY ${scratch}/corpus)
  set(options -max_total_time=3 -timeout=10 -rss_limit_mb=2048 -artifact_prefix=${scratch}/)
  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fuzz/${name}.dict)
    list(APPEND options -dict=${CMAKE_SOURCE_DIR}/tests/fuzz/${name}.dict)
  endif()
  add_test(NAME fuzz_${name}
           COMMAND ${name} ${options} ${scratch}/corpus ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
  set_tests_properties(fuzz_${name} PROPERTIES TIMEOUT 120)
endforeach()
