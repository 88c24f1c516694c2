# Native build (the machine's g++): tests of the portable core, command-line tools, fuzzers and
# benchmarks. The default build (build/native) holds the tests and arkfile; benchmarks and fuzzers
# have their own build directories, switched on with ARKEL_BENCH and ARKEL_FUZZ.
option(ARKEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(ARKEL_TESTS "Build the native tests" ON)
option(ARKEL_BENCH "Build the cipher benchmark (OpenSSL, Google Benchmark)" OFF)
option(ARKEL_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

set(ARKEL_CORE_LIBS arkel_crypto_core arkel_exchange_core help_document)

if(ARKEL_SANITIZE)
  set(ARKEL_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${ARKEL_SANITIZE_FLAGS})
  add_link_options(-fsanitize=address,undefined)
  # The core libraries were defined before this file was read; instrument them as well.
  foreach(lib IN LISTS ARKEL_CORE_LIBS)
    target_compile_options(${lib} PRIVATE ${ARKEL_SANITIZE_FLAGS})
  endforeach()
endif()

if(ARKEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ARKEL_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  set(ARKEL_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                       -fno-sanitize-recover=all -g)
  foreach(lib IN LISTS ARKEL_CORE_LIBS)
    target_compile_options(${lib} PRIVATE ${ARKEL_FUZZ_FLAGS})
  endforeach()
  # The cipher's loops run the same for every input; tracing their comparisons gives the fuzzer
  # nothing and took a third of the time of the targets that decrypt.
  set_source_files_properties(${CMAKE_SOURCE_DIR}/crypto/cipher.cpp
    DIRECTORY ${CMAKE_SOURCE_DIR}/crypto PROPERTIES COMPILE_OPTIONS -fno-sanitize-coverage=trace-cmp)
  add_subdirectory(fuzz)
  return()
endif()

if(ARKEL_BENCH)
  add_subdirectory(bench)
  return()
endif()

add_subdirectory(tools/arkfile)

if(ARKEL_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_subdirectory(tests/native)
endif()
