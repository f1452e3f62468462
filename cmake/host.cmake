# Host build: the monitor inside the emulated device.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(SDL2 IMPORTED_TARGET sdl2)
find_package(Threads REQUIRED)

# The resource script is compiled by the real resource compiler, the same as
# for the windows build; the device reads the compiled .res bytes.
find_program(WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)
set(PERFMON_RES ${CMAKE_BINARY_DIR}/perfmon.res)
file(GLOB RESOURCE_FILES CONFIGURE_DEPENDS app/res/*)
add_custom_command(
  OUTPUT ${PERFMON_RES}
  COMMAND ${WINDRES} -I ${CMAKE_SOURCE_DIR}/app --input-format=rc --output-format=res
          -i ${CMAKE_SOURCE_DIR}/app/perfmon.rc -o ${PERFMON_RES}
  DEPENDS app/perfmon.rc app/resource.h ${RESOURCE_FILES}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/app
  COMMENT "Compiling the resource script")
set(PERFMON_RES_CPP ${CMAKE_BINARY_DIR}/perfmon_res.cpp)
add_custom_command(
  OUTPUT ${PERFMON_RES_CPP}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${PERFMON_RES} -DOUTPUT=${PERFMON_RES_CPP} -DSYMBOL=perfmonResources
          -P ${CMAKE_SOURCE_DIR}/cmake/embed.cmake
  DEPENDS ${PERFMON_RES} cmake/embed.cmake
  COMMENT "Embedding the compiled resources")

add_library(monitor STATIC ${MONITOR_SOURCES} ${PERFMON_RES_CPP})
target_include_directories(monitor PUBLIC ${CMAKE_SOURCE_DIR})

file(GLOB DEVICE_SOURCES CONFIGURE_DEPENDS platform/host/*.cpp platform/programs/*.cpp)
list(FILTER DEVICE_SOURCES EXCLUDE REGEX ".*/platform/programs/main\\.cpp$")
add_library(device STATIC ${DEVICE_SOURCES})
target_include_directories(device PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(device PUBLIC PkgConfig::FREETYPE PkgConfig::PNG Threads::Threads)
target_compile_definitions(device PRIVATE
  DEVICE_FONT_DIR="/usr/share/fonts/truetype/dejavu")
if(SDL2_FOUND)
  # Headers only: the presenter loads the library when it opens a window.
  target_include_directories(device PRIVATE ${SDL2_INCLUDE_DIRS})
  target_compile_options(device PRIVATE ${SDL2_CFLAGS_OTHER})
  target_link_libraries(device PUBLIC ${CMAKE_DL_LIBS})
  target_compile_definitions(device PUBLIC DEVICE_HAVE_SDL=1)
endif()
target_link_libraries(monitor PUBLIC device)

add_executable(perfmon platform/programs/main.cpp)
target_link_libraries(perfmon PRIVATE monitor device)

if(PERFMON_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  file(GLOB_RECURSE TEST_SOURCES CONFIGURE_DEPENDS tests/*.cpp)
  list(FILTER TEST_SOURCES EXCLUDE REGEX ".*/tests/win32/[^/]*$")
  list(FILTER TEST_SOURCES EXCLUDE REGEX ".*/tests/fuzz/.*")
  add_executable(perfmon_tests ${TEST_SOURCES})
  target_link_libraries(perfmon_tests PRIVATE monitor device GTest::gtest GTest::gtest_main)
  target_compile_definitions(perfmon_tests PRIVATE
    PERFMON_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PERFMON_BINARY_DIR="${CMAKE_BINARY_DIR}")
  include(GoogleTest)
  gtest_discover_tests(perfmon_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
  # After the discovered tests exist: the long ones start first (see there).
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_SOURCE_DIR}/cmake/long_tests.cmake)
  file(GLOB TEST_SCRIPTS CONFIGURE_DEPENDS tests/scripts/*.sh)
  foreach(script ${TEST_SCRIPTS})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME script.${name} COMMAND bash ${script} ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
    set_tests_properties(script.${name} PROPERTIES TIMEOUT 900)
  endforeach()
  # Parallel CTest starts the costliest tests first; with nothing measured
  # yet (a fresh build directory) every test costs the same and these would
  # start last, in file order, and run on alone at the end. Seconds, roughly.
  foreach(long fuzz_run:100 wine_main:40 wine_layer:30 wine_tray:30 host_run:20)
    string(REPLACE ":" ";" long ${long})
    list(GET long 0 name)
    list(GET long 1 cost)
    if(EXISTS ${CMAKE_SOURCE_DIR}/tests/scripts/${name}.sh)
      set_tests_properties(script.${name} PROPERTIES COST ${cost})
    endif()
  endforeach()
endif()

if(PERFMON_BENCH)
  find_package(benchmark)
  file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS bench/*.cpp)
  if(benchmark_FOUND AND BENCH_SOURCES)
    add_executable(perfmon_bench ${BENCH_SOURCES})
    target_link_libraries(perfmon_bench PRIVATE monitor device benchmark::benchmark benchmark::benchmark_main)
  endif()
endif()
