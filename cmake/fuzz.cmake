# libFuzzer targets of the /proc readers (tests/fuzz/fuzz_*.cpp), one per
# reader. libFuzzer comes with clang, so this build wants clang:
#   cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DPERFMON_FUZZ=ON
# tests/scripts/fuzz_run.sh builds and runs them for a bounded time.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "PERFMON_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

# The readers are pure functions over bytes; they need nothing else of the device.
set(FUZZ_READER_SOURCES
  ${CMAKE_SOURCE_DIR}/platform/host/procfs.cpp
  ${CMAKE_SOURCE_DIR}/platform/host/procfs_files.cpp)
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)

add_custom_target(fuzz_targets)
foreach(source ${FUZZ_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source} ${FUZZ_READER_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  add_dependencies(fuzz_targets ${name})
endforeach()
