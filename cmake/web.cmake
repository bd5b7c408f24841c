# The web (built by scripts/build-web with emscripten): the dependencies and the
# flags for the engine and the demo, which CMakeLists.txt builds as on Linux, and
# (tavik_web_programs, called once tavik and wendril_app exist) the headless host
# and the capture for node; cmake/web_page.cmake, when there, adds the page.
# TAVIK_WEB_DEPENDENCIES: the prefixes of the wasm builds of the JPEG library and
# libopenmpt (static libraries). TAVIK_WEB_THREADS: the threads variant (web
# workers on shared memory), where everything, the libraries too, is compiled
# with -pthread.
set(TAVIK_WEB_DEPENDENCIES "" CACHE STRING "Prefixes of the wasm builds of libjpeg and libopenmpt")
option(TAVIK_WEB_THREADS "Build with threads (web workers on shared memory)" OFF)

find_path(TAVIK_JPEG_INCLUDE jpeglib.h PATHS ${TAVIK_WEB_DEPENDENCIES} PATH_SUFFIXES include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_library(TAVIK_JPEG_LIBRARY NAMES libjpeg.a PATHS ${TAVIK_WEB_DEPENDENCIES} PATH_SUFFIXES lib
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(TAVIK_OPENMPT_INCLUDE libopenmpt/libopenmpt.hpp PATHS ${TAVIK_WEB_DEPENDENCIES}
  PATH_SUFFIXES include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_library(TAVIK_OPENMPT_LIBRARY NAMES libopenmpt.a PATHS ${TAVIK_WEB_DEPENDENCIES} PATH_SUFFIXES lib
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# The SSE2 paths compile to wasm SIMD (their scalar references stay as they are).
add_compile_options(-msimd128 -msse2)
# std::bit_cast, which this emscripten's C++ library lacks.
add_compile_options("SHELL:-include ${PROJECT_SOURCE_DIR}/cmake/web_bit_cast.h")
# The start-up guard names its source file: relative, not the build machine's path.
add_compile_options(-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)
if(TAVIK_WEB_THREADS)
  add_compile_options(-pthread)
  add_link_options(-pthread)
endif()

# The engine and its host are linked as one group (CMakeLists.txt): wasm-ld finds
# symbols in archives already read, like lld, and emcc accepts the group options.
set(CMAKE_CXX_LINK_GROUP_USING_RESCAN "LINKER:--start-group" "LINKER:--end-group")
set(CMAKE_CXX_LINK_GROUP_USING_RESCAN_SUPPORTED TRUE)

add_library(JPEG::JPEG STATIC IMPORTED)
set_target_properties(JPEG::JPEG PROPERTIES IMPORTED_LOCATION ${TAVIK_JPEG_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${TAVIK_JPEG_INCLUDE})
add_library(TavikWeb::OpenMPT STATIC IMPORTED)
set_target_properties(TavikWeb::OpenMPT PROPERTIES IMPORTED_LOCATION ${TAVIK_OPENMPT_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${TAVIK_OPENMPT_INCLUDE})

macro(tavik_web_programs)
  # The headless host and the capture for node: the real file system (the data
  # folder read, the files written where they are named), memory that grows,
  # exit() that ends node. No PNG library in this build: the frames and the
  # contact sheet are refused.
  tavik_host_platform(headless TavikWeb::OpenMPT)
  tavik_capture(tavik wendril_app)
  target_compile_definitions(wendril-capture PRIVATE TAVIK_NO_PNG=1)
  target_link_options(wendril-capture PRIVATE -sENVIRONMENT=node -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1
    -sEXIT_RUNTIME=1 -sTOTAL_STACK=8388608)
  if(TAVIK_WEB_THREADS)
    # Workers for the band renderer, started before main (node has no event loop
    # turn to start them in while the capture runs).
    target_link_options(wendril-capture PRIVATE -sPTHREAD_POOL_SIZE=4)
  endif()

  # The page (the web host, its entry point and its link flags).
  include(${PROJECT_SOURCE_DIR}/cmake/web_page.cmake OPTIONAL)
endmacro()
