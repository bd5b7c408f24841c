# Installing the engine for other projects: `cmake --install build --prefix P`
# puts the headers under P/include with the tree's paths, the libraries under
# P/lib, the CMake package (find_package(Tavik)) and the pkg-config files.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Every engine header, and the platform headers an effect may include (the
# Windows and sound-library interfaces, the host's frame and clock calls, the
# mixer); what the hosts implement for the stand-ins (host_driver.h,
# host_audio.h) and the stand-ins themselves stay in the tree.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/engine/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/engine
  FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/include/engine/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/engine)
file(GLOB TAVIK_PLATFORM_HEADERS ${PROJECT_SOURCE_DIR}/platform/*.h)
list(FILTER TAVIK_PLATFORM_HEADERS EXCLUDE REGEX ".*/host_(driver|audio)\\.h$")
install(FILES ${TAVIK_PLATFORM_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/platform)

# The libraries keep their file names (libtavik.a, libtavik_platform_sdl.a, ...);
# the package names them Tavik::tavik, Tavik::platform_sdl, Tavik::platform_headless.
set_target_properties(tavik_platform_sdl PROPERTIES EXPORT_NAME platform_sdl)
set_target_properties(tavik_platform_headless PROPERTIES EXPORT_NAME platform_headless)
install(TARGETS tavik tavik_platform_sdl tavik_platform_headless EXPORT TavikTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set(TAVIK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavik)
install(EXPORT TavikTargets NAMESPACE Tavik:: DESTINATION ${TAVIK_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TavikConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/TavikConfig.cmake INSTALL_DESTINATION ${TAVIK_CMAKE_DIR})
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
    set(TAVIK_PC_REQUIRES "libjpeg sdl2 libopenmpt")
    set(TAVIK_PC_DEFINE "TAVIK_HOST_SDL=1")
  else()
    set(TAVIK_PC_HOST "headless host: a virtual clock, frames handed to the program")
    set(TAVIK_PC_REQUIRES "libjpeg libopenmpt")
    set(TAVIK_PC_DEFINE "TAVIK_HOST_HEADLESS=1")
  endif()
  set(TAVIK_PC_LIB tavik_platform_${host})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tavik.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/tavik-${host}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/tavik-${host}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
