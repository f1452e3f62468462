# Windows build: perfmon.exe against the real Win32 API (Windows and Wine).
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/app")

file(GLOB WIN32_SOURCES CONFIGURE_DEPENDS platform/win32/*.cpp)
add_executable(perfmon WIN32 ${MONITOR_SOURCES} ${WIN32_SOURCES} app/perfmon.rc)
target_include_directories(perfmon PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(perfmon PRIVATE -municode -static -static-libgcc -static-libstdc++)
target_link_libraries(perfmon PRIVATE comctl32 shell32 gdi32 user32)

# The device's tool-help library, for the desktop: the six device export
# names over the desktop's own tool-help functions.
file(GLOB TOOLHELP_SOURCES CONFIGURE_DEPENDS platform/win32/toolhelp/*.cpp)
if(TOOLHELP_SOURCES)
  add_library(toolhelp SHARED ${TOOLHELP_SOURCES} platform/win32/toolhelp/toolhelp.def)
  set_target_properties(toolhelp PROPERTIES PREFIX "" OUTPUT_NAME toolhelp)
  target_link_options(toolhelp PRIVATE -static -static-libgcc -static-libstdc++)
endif()

file(GLOB WIN32_PROGRAMS CONFIGURE_DEPENDS platform/win32/programs/*.cpp)
foreach(source ${WIN32_PROGRAMS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} WIN32 ${source})
  target_link_options(${name} PRIVATE -municode -static -static-libgcc -static-libstdc++)
  target_link_libraries(${name} PRIVATE comctl32 shell32 gdi32 user32)
endforeach()
