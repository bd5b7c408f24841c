# Installing the engine for other projects: `cmake --install build --prefix P`
# puts the headers under P/include/tavik with the tree's paths below it
# (#include "engine/pixmap/pixmap.h" with -I P/include/tavik), the libraries under
# P/lib, the CMake package (find_package(Tavik)) and the pkg-config files; the
# default data set under P/share/tavik/data and the tool that writes it as
# P/bin/tavik-mkassets; the guide and the API reference under P/share/doc/tavik.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Every engine header, and the platform headers an effect may include (the
# Windows and sound-library interfaces, the host's frame and clock calls, the
# mixer); what the hosts implement for the stand-ins (host_driver.h,
# host_audio.h) and the stand-ins themselves stay in the tree. One folder of our
# own, so "engine/" and "platform/" never meet another package's in P/include.
set(TAVIK_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/tavik)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/engine/ DESTINATION ${TAVIK_INCLUDE_DIR}/engine
  FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/include/engine/version.h DESTINATION ${TAVIK_INCLUDE_DIR}/engine)
file(GLOB TAVIK_PLATFORM_HEADERS ${PROJECT_SOURCE_DIR}/platform/*.h)
list(FILTER TAVIK_PLATFORM_HEADERS EXCLUDE REGEX ".*/host_(driver|audio)\\.h$")
install(FILES ${TAVIK_PLATFORM_HEADERS} DESTINATION ${TAVIK_INCLUDE_DIR}/platform)

# The libraries keep their file names (libtavik.a, libtavik_platform_sdl.a, ...);
# the package names them Tavik::tavik, Tavik::platform_sdl, Tavik::platform_headless.
set_target_properties(tavik_platform_sdl PROPERTIES EXPORT_NAME platform_sdl)
set_target_properties(tavik_platform_headless PROPERTIES EXPORT_NAME platform_headless)
install(TARGETS tavik tavik_platform_sdl tavik_platform_headless EXPORT TavikTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} INCLUDES DESTINATION ${TAVIK_INCLUDE_DIR})
set(TAVIK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavik)
set(TAVIK_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tavik/data)
set(TAVIK_MKASSETS ${CMAKE_INSTALL_BINDIR}/tavik-mkassets)
install(EXPORT TavikTargets NAMESPACE Tavik:: DESTINATION ${TAVIK_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TavikConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/TavikConfig.cmake INSTALL_DESTINATION ${TAVIK_CMAKE_DIR}
  PATH_VARS TAVIK_DATA_DIR TAVIK_MKASSETS)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/TavikConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/TavikConfig.cmake ${PROJECT_BINARY_DIR}/cmake/TavikConfigVersion.cmake
  DESTINATION ${TAVIK_CMAKE_DIR})

# pkg-config: one file per host (tavik-sdl, tavik-headless), each the whole link
# line. The prefix is found from the file's own place, so any --prefix works.

string(REGEX REPLACE "[^/]+" ".." TAVIK_PC_UP "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
set(TAVIK_PC_PREFIX "\${pcfiledir}/${TAVIK_PC_UP}")
foreach(host sdl headless)
  if(host STREQUAL "sdl")
    set(TAVIK_PC_HOST "SDL host: a window, keyboard and sound")
    set(TAVIK_PC_REQUIRES "libjpeg libpng sdl2 libopenmpt")
    set(TAVIK_PC_DEFINE "TAVIK_HOST_SDL=1")
  else()
    set(TAVIK_PC_HOST "headless host: a virtual clock, frames handed to the program")
    set(TAVIK_PC_REQUIRES "libjpeg libpng libopenmpt")
    set(TAVIK_PC_DEFINE "TAVIK_HOST_HEADLESS=1")
  endif()
  set(TAVIK_PC_LIB tavik_platform_${host})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tavik.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/tavik-${host}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/tavik-${host}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# The default data set as the build's mkassets wrote it (hd/ included): only the
# files the demo reads, so nothing a run left in build/data is installed. The tool
# itself goes to bin/ with the engine's name before its own, as "mkassets" alone
# could be anybody's.
install(DIRECTORY ${PROJECT_BINARY_DIR}/data/ DESTINATION ${TAVIK_DATA_DIR}
  FILES_MATCHING PATTERN "*.xm" PATTERN "*.jpg" PATTERN "*.gif" PATTERN "*.pcx")
install(PROGRAMS $<TARGET_FILE:mkassets> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME tavik-mkassets)

# The guide with the pictures it shows, and the API reference when scripts/docs
# has written it (into the source tree's build/docs/html) for this version; it is
# looked for when installing, so running scripts/docs after the build is enough.
set(TAVIK_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/tavik)
install(FILES ${PROJECT_SOURCE_DIR}/docs/guide.md DESTINATION ${TAVIK_DOC_DIR})
install(CODE "
  set(TAVIK_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
  set(TAVIK_DOC_DIR \"${TAVIK_DOC_DIR}\")
  set(TAVIK_VERSION \"${PROJECT_VERSION}\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install_docs.cmake)
