# Run by `cmake --install` (cmake/install.cmake sets TAVIK_SOURCE_DIR,
# TAVIK_DOC_DIR and TAVIK_VERSION first): the pictures docs/guide.md shows, beside
# it, and the API reference that scripts/docs wrote, when it is there and of this
# version. Without one the guide is installed alone and the install says so.
set(_tavik_doc "${CMAKE_INSTALL_PREFIX}/${TAVIK_DOC_DIR}")

# Pictures: ![text](name) and <img src="name">, relative to docs/. A picture the
# guide names but the tree lacks stops the install: the guide would show a hole.
file(READ "${TAVIK_SOURCE_DIR}/docs/guide.md" _tavik_guide)
string(REGEX MATCHALL "!\\[[^]]*\\]\\([^)]+\\)|<img [^>]*src=\"[^\"]+\"" _tavik_links "${_tavik_guide}")
foreach(_tavik_link IN LISTS _tavik_links)
  if(_tavik_link MATCHES "^<img")
    string(REGEX REPLACE "^<img [^>]*src=\"([^\"]+)\"$" "\\1" _tavik_picture "${_tavik_link}")
  else()
    string(REGEX REPLACE "^!\\[[^]]*\\]\\(([^) ]+).*$" "\\1" _tavik_picture "${_tavik_link}")
  endif()
  if(_tavik_picture MATCHES "^[a-z]+:")  # a picture on the web stays there
    continue()
  endif()
  if(NOT EXISTS "${TAVIK_SOURCE_DIR}/docs/${_tavik_picture}")
    message(FATAL_ERROR "docs/guide.md shows ${_tavik_picture}, which is not in docs/")
  endif()
  get_filename_component(_tavik_sub "${_tavik_picture}" DIRECTORY)
  set(_tavik_to "${_tavik_doc}")
  if(_tavik_sub)
    string(APPEND _tavik_to "/${_tavik_sub}")
  endif()
  file(INSTALL "${TAVIK_SOURCE_DIR}/docs/${_tavik_picture}" DESTINATION "${_tavik_to}")
endforeach()

set(_tavik_html "${TAVIK_SOURCE_DIR}/build/docs/html")
if(NOT EXISTS "${_tavik_html}/index.html")
  message(NOTICE "The API reference is not built (scripts/docs writes it into build/docs/html): "
                 "installed the guide alone in ${_tavik_doc}")
else()
  # Doxygen writes the version as <span id="projectnumber">&#160;1.2.0</span>.
  file(READ "${_tavik_html}/index.html" _tavik_index)
  string(REGEX MATCH "projectnumber\">[^<]*" _tavik_number "${_tavik_index}")
  string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" _tavik_number "${_tavik_number}")
  if(NOT _tavik_number STREQUAL TAVIK_VERSION)
    message(NOTICE "The API reference in build/docs/html is of Tavik ${_tavik_number}, not ${TAVIK_VERSION} "
                   "(scripts/docs writes it anew): installed the guide alone in ${_tavik_doc}")
  else()
    file(INSTALL "${_tavik_html}" DESTINATION "${_tavik_doc}")
  endif()
endif()
