# Windows build: perfmon.exe against the real Win32 API (Windows and Wine).
#
# Everything links its runtime statically, so each executable and the
# tool-help adapter run in a fresh Wine prefix with nothing but the system's
# own DLLs.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/app")
set(STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# The device.h operations for the desktop, shared by the monitor and the
# Windows-side tests.
add_library(device_win32 STATIC platform/win32/device_win32.cpp)
target_include_directories(device_win32 PUBLIC ${CMAKE_SOURCE_DIR})

if(EXISTS ${CMAKE_SOURCE_DIR}/app/perfmon.rc)
  add_executable(perfmon WIN32 ${MONITOR_SOURCES} platform/win32/entry.cpp app/perfmon.rc)
  target_include_directories(perfmon PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_options(perfmon PRIVATE -municode ${STATIC_RUNTIME})
  target_link_libraries(perfmon PRIVATE device_win32 comctl32 shell32 gdi32 user32)
else()
  message(WARNING "app/perfmon.rc is missing: perfmon.exe is not built")
endif()

# The device's tool-help library, for the desktop: the six device export
# names over the desktop's own tool-help functions. The monitor finds it
# next to perfmon.exe.
add_library(toolhelp SHARED platform/win32/toolhelp/toolhelp.cpp platform/win32/toolhelp/toolhelp.def)
set_target_properties(toolhelp PROPERTIES PREFIX "" OUTPUT_NAME toolhelp)
target_link_options(toolhelp PRIVATE ${STATIC_RUNTIME})

# Small programs for the runs under Wine: the window inspector, a window that
# stops answering, and the probe of platform answers the emulation copies.
file(GLOB WIN32_PROGRAMS CONFIGURE_DEPENDS platform/win32/programs/*.cpp)
foreach(source ${WIN32_PROGRAMS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} WIN32 ${source})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_options(${name} PRIVATE -municode ${STATIC_RUNTIME})
  target_link_libraries(${name} PRIVATE device_win32 comctl32 shell32 gdi32 user32)
endforeach()

# Windows-side tests of the layer and the adapter, run under Wine by
# tests/scripts/wine_layer.sh.
file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS tests/win32/*.cpp)
if(WIN32_TEST_SOURCES)
  add_executable(win32_tests ${WIN32_TEST_SOURCES})
  target_include_directories(win32_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_options(win32_tests PRIVATE ${STATIC_RUNTIME})
  target_link_libraries(win32_tests PRIVATE device_win32 user32 gdi32)
  add_dependencies(win32_tests toolhelp)
endif()
