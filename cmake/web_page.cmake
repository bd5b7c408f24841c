# The web page's program, for cmake/web.cmake (both variants: TAVIK_WEB_THREADS).
#
# Builds: wendril-web.js and wendril-web.wasm (and wendril-web.worker.js in the
# threads variant) in the build folder. The page's static files are web/:
# index.html, wendril.js (the page: loads wendril-web.js, or threads/wendril-web.js
# when threads are asked for and allowed), audio-worklet.js (the sound's worklet).
# build-web/ holds web/* at its top, the single-thread wendril-web.* beside them,
# the threads variant's wendril-web.* in threads/, and the data set in data/.

# The browser host: the Windows stand-ins shared by every Linux-like host, and the
# canvas, animation-frame clock and Web Audio output of platform/hosts/web.
tavik_host_platform(web TavikWeb::OpenMPT)

add_executable(wendril-web ${PROJECT_SOURCE_DIR}/app/web/main.cpp)
target_link_libraries(wendril-web PRIVATE wendril_app "$<LINK_GROUP:RESCAN,tavik,tavik_platform_web>"
                      TavikWeb::OpenMPT)
# One factory, WendrilModule(options), that the page calls with its own hooks
# (options.page); the page's script, not a generated HTML file, drives it.
target_link_options(wendril-web PRIVATE
  -sMODULARIZE=1 -sEXPORT_NAME=WendrilModule -sENVIRONMENT=web,worker
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=67108864 -sTOTAL_STACK=8388608
  -sEXPORTED_RUNTIME_METHODS=FS,ccall,UTF8ToString -sEXPORTED_FUNCTIONS=_main)
if(TAVIK_WEB_THREADS)
  # The band renderer's workers are made while a frame is drawn, when the page
  # cannot wait for a web worker to load: the pool is made before the program
  # starts, as large as the page asks (options.wendrilWorkers: the ?threads= count).
  # Memory still grows (scale 8 needs far more than scale 1); only the glue's views of
  # it are checked more often, which the page's one copy a frame does not notice.
  target_link_options(wendril-web PRIVATE -pthread -sPTHREAD_POOL_SIZE=Module.wendrilWorkers -Wno-pthreads-mem-growth)
endif()
