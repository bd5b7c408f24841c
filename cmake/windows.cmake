# Windows (cross-built by scripts/build-windows): the engine and the demo over the
# system's own windowing, GDI, DirectDraw and multimedia timer. Of the platform
# layer only the module players and their sound output (waveOut) are ours; the
# stand-ins for the Windows interfaces and the SDL and headless hosts are not built.
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
find_package(Threads REQUIRED)

file(GLOB_RECURSE TAVIK_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/engine/*.cpp)
add_library(tavik STATIC ${TAVIK_SOURCES})
target_include_directories(tavik PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/include)
target_include_directories(tavik SYSTEM PUBLIC ${TAVIK_JPEG_INCLUDE})
target_link_libraries(tavik PUBLIC ${TAVIK_JPEG_LIBRARY} Threads::Threads)

add_library(tavik_platform_windows STATIC
  ${PROJECT_SOURCE_DIR}/platform/audio.cpp ${PROJECT_SOURCE_DIR}/platform/fmod.cpp
  ${PROJECT_SOURCE_DIR}/platform/midas.cpp ${PROJECT_SOURCE_DIR}/platform/windows/audio_waveout.cpp)
target_include_directories(tavik_platform_windows PUBLIC ${PROJECT_SOURCE_DIR})
target_include_directories(tavik_platform_windows SYSTEM PUBLIC ${TAVIK_OPENMPT_INCLUDE})
target_compile_definitions(tavik_platform_windows PUBLIC TAVIK_HOST_WINDOWS=1)
target_link_libraries(tavik_platform_windows PUBLIC ${TAVIK_OPENMPT_LIBRARY} Threads::Threads
  winmm user32 gdi32 ole32 rpcrt4)

file(GLOB APP_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/*.cpp)
list(FILTER APP_SOURCES EXCLUDE REGEX ".*/app/main\\.cpp$")
add_library(wendril_app STATIC ${APP_SOURCES})
target_include_directories(wendril_app PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(wendril_app PUBLIC tavik)

# A window program (no console of its own); DirectDraw is loaded at run time.
add_executable(wendril WIN32 ${PROJECT_SOURCE_DIR}/app/main.cpp)
target_link_libraries(wendril PRIVATE wendril_app "$<LINK_GROUP:RESCAN,tavik,tavik_platform_windows>")

# The waveOut sound output against a stand-in device (a console program that
# tests/windows/wine_test.sh runs under Wine).
add_executable(waveout_test ${PROJECT_SOURCE_DIR}/tests/windows/waveout_test.cpp)
target_link_libraries(waveout_test PRIVATE tavik_platform_windows)
