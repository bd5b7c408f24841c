# Windows (cross-built by scripts/build-windows): the dependencies and the host for
# the engine and the demo, which CMakeLists.txt builds as on Linux. The engine runs
# over the system's own windowing, GDI, DirectDraw and multimedia timer; of the
# platform layer only the module players and their sound output (waveOut) are ours;
# the stand-ins for the Windows interfaces and the headless host are built for the
# capture alone (tavik_windows_capture below), the SDL host not at all.
# TAVIK_WINDOWS_DEPENDENCIES: the prefixes of the cross-built JPEG library and
# libopenmpt (static libraries).
set(TAVIK_WINDOWS_DEPENDENCIES "" CACHE STRING "Prefixes of the Windows builds of libjpeg and libopenmpt")

find_path(TAVIK_JPEG_INCLUDE jpeglib.h PATHS ${TAVIK_WINDOWS_DEPENDENCIES} PATH_SUFFIXES include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_library(TAVIK_JPEG_LIBRARY NAMES libjpeg.a PATHS ${TAVIK_WINDOWS_DEPENDENCIES} PATH_SUFFIXES lib
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(TAVIK_OPENMPT_INCLUDE libopenmpt/libopenmpt.hpp PATHS ${TAVIK_WINDOWS_DEPENDENCIES}
  PATH_SUFFIXES include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_library(TAVIK_OPENMPT_LIBRARY NAMES libopenmpt.a PATHS ${TAVIK_WINDOWS_DEPENDENCIES} PATH_SUFFIXES lib
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# M_PI and friends: glibc declares them by default, the Windows C library only on request.
add_compile_definitions(_USE_MATH_DEFINES)
# The start-up guard names its source file: relative, not the build machine's path.
add_compile_options(-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)

# Everything static: one program with no DLLs of its own to copy along.
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp $<$<CONFIG:Release>:-s>)

# The JPEG library as the engine links it on every system.
add_library(JPEG::JPEG STATIC IMPORTED)
set_target_properties(JPEG::JPEG PROPERTIES IMPORTED_LOCATION ${TAVIK_JPEG_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${TAVIK_JPEG_INCLUDE})

# The host: Windows itself, with our module players and their waveOut output.
add_library(tavik_platform_windows STATIC
  ${PROJECT_SOURCE_DIR}/platform/standins/audio.cpp ${PROJECT_SOURCE_DIR}/platform/standins/fmod.cpp
  ${PROJECT_SOURCE_DIR}/platform/standins/midas.cpp ${PROJECT_SOURCE_DIR}/platform/hosts/windows/audio_waveout.cpp)
target_include_directories(tavik_platform_windows PUBLIC ${PROJECT_SOURCE_DIR})
target_include_directories(tavik_platform_windows SYSTEM PUBLIC ${TAVIK_OPENMPT_INCLUDE})
target_compile_definitions(tavik_platform_windows PUBLIC TAVIK_HOST_WINDOWS=1)
target_link_libraries(tavik_platform_windows PUBLIC ${TAVIK_OPENMPT_LIBRARY} Threads::Threads
  winmm user32 gdi32 ole32 rpcrt4)

# The waveOut sound output against a stand-in device (a console program that
# tests/windows/wine_test.sh runs under Wine).
add_executable(waveout_test ${PROJECT_SOURCE_DIR}/tests/platform/hosts/windows/waveout_test.cpp)
target_link_libraries(waveout_test PRIVATE tavik_platform_windows)

# wendril-capture.exe: the demo on the headless host and the stand-ins for the
# Windows interfaces (TAVIK_STANDINS: platform/*.h declare the stand-ins instead of
# the system's headers), so that its frames are the headless frames of every other
# system. The engine and the demo are built a second time for it, from the same
# sources as tavik and wendril_app. No PNG library (TAVIK_NO_PNG: no PNG frames or
# contact sheet) and no ffmpeg runs here: the frame hashes, the WAV and the log.
# Called by CMakeLists.txt once tavik and wendril_app are defined.
function(tavik_windows_capture)
  tavik_host_platform(headless "${TAVIK_OPENMPT_LIBRARY};rpcrt4")
  target_include_directories(tavik_platform_headless SYSTEM PUBLIC ${TAVIK_OPENMPT_INCLUDE})
  target_compile_definitions(tavik_platform_headless PUBLIC TAVIK_STANDINS=1)

  get_target_property(engine_sources tavik SOURCES)
  add_library(tavik_standin STATIC ${engine_sources})
  get_target_property(engine_includes tavik INCLUDE_DIRECTORIES)
  target_include_directories(tavik_standin PUBLIC ${engine_includes})
  target_compile_definitions(tavik_standin PUBLIC TAVIK_STANDINS=1)
  target_link_libraries(tavik_standin PUBLIC JPEG::JPEG Threads::Threads)

  get_target_property(app_sources wendril_app SOURCES)
  add_library(wendril_app_standin STATIC ${app_sources})
  target_link_libraries(wendril_app_standin PUBLIC tavik_standin)

  tavik_capture(tavik_standin wendril_app_standin)
  target_compile_definitions(wendril-capture PRIVATE TAVIK_NO_PNG=1)
endfunction()
