# libFuzzer targets (clang only): tests/fuzz/fuzz_*.cpp, each an executable of its own
# against the program's code built with coverage for the fuzzer. Configure a build of
# their own, with the sanitizers:
#
#   cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
#         -DCLAVORA_FUZZ=ON -DCLAVORA_SANITIZE=address,undefined \
#         -DCLAVORA_APP=OFF -DCLAVORA_BENCH=OFF -DCLAVORA_TESTS=OFF
option(CLAVORA_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(CLAVORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "CLAVORA_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++")
  endif()
  set(CLAVORA_FUZZ_FLAGS -fsanitize=fuzzer-no-link)
  if(NOT CLAVORA_SANITIZE)
    # Fuzzing without the sanitizers finds only crashes; add them to what is fuzzed.
    list(APPEND CLAVORA_FUZZ_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
      -fno-sanitize-recover=all)
    target_link_options(clavora_core INTERFACE -fsanitize=address,undefined)
  endif()
  target_compile_options(clavora_core PRIVATE ${CLAVORA_FUZZ_FLAGS})
  # The pixel loops of the picture layer run for every pixel of every frame: tracing
  # their comparisons would cost most of the fuzzing time and guide nothing.
  set_source_files_properties(src/raster/Gdi.cpp src/raster/Bmp.cpp PROPERTIES
    COMPILE_OPTIONS -fno-sanitize-coverage=trace-cmp)

  file(GLOB CLAVORA_FUZZ_SOURCES CONFIGURE_DEPENDS tests/fuzz/fuzz_*.cpp)
  foreach(src ${CLAVORA_FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_include_directories(${name} PRIVATE tests)
    target_compile_options(${name} PRIVATE ${CLAVORA_FUZZ_FLAGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE clavora_core clavora_res)
  endforeach()
endif()
