# Compile options shared by every target of the project, carried by one interface target.
add_library(quadtrack_options INTERFACE)
add_library(quadtrack::options ALIAS quadtrack_options)
target_compile_features(quadtrack_options INTERFACE cxx_std_17)
set_target_properties(quadtrack_options PROPERTIES INTERFACE_CXX_EXTENSIONS OFF)
target_compile_options(quadtrack_options INTERFACE
  -Wall -Wextra -Wpedantic
  # Error reports name the toolkit source relative to the project root.
  -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)

if(QUADTRACK_SANITIZE)
  target_compile_options(quadtrack_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(quadtrack_options INTERFACE -fsanitize=address,undefined)
endif()

if(QUADTRACK_TSAN)
  if(QUADTRACK_SANITIZE)
    message(FATAL_ERROR "QUADTRACK_TSAN and QUADTRACK_SANITIZE cannot be combined")
  endif()
  target_compile_options(quadtrack_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(quadtrack_options INTERFACE -fsanitize=thread)
endif()

# Coverage feedback for the fuzz targets in every library they link; only clang has libFuzzer.
if(QUADTRACK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUADTRACK_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  target_compile_options(quadtrack_options INTERFACE -fsanitize=fuzzer-no-link
    -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/tests/fuzz/coverage_ignore.txt)
endif()
