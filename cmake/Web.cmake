# The web build (the `web` preset, Debian's emscripten): the production as a
# static page, build/web/index.html + vorna.js + vorna.wasm. The same sources
# as the native build, over the page's own SDL layer (src/platform/web) and
# libjpeg-turbo built from Debian's source package; no tools beyond the
# embedder (run under node), no tests (the browser tests drive the page).

# Debian's source of libjpeg-turbo, fetched by `scripts/install-deps.sh web`.
set(VORNA_JPEG_SOURCE "${PROJECT_SOURCE_DIR}/build/deps/libjpeg-turbo" CACHE PATH
    "libjpeg-turbo's source tree (Debian's source package)")
if(NOT EXISTS "${VORNA_JPEG_SOURCE}/jpeglib.h")
  message(FATAL_ERROR "no libjpeg-turbo source at ${VORNA_JPEG_SOURCE}: run scripts/install-deps.sh web")
endif()
include(ExternalProject)
set(jpeg_build ${CMAKE_BINARY_DIR}/libjpeg-turbo)
ExternalProject_Add(libjpeg_web
  SOURCE_DIR ${VORNA_JPEG_SOURCE}
  BINARY_DIR ${jpeg_build}
  # size_t is 4 bytes on wasm32; the type check gets it wrong under emscripten.
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
             -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --target jpeg-static
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${jpeg_build}/libjpeg.a
  USES_TERMINAL_CONFIGURE OFF)
add_library(JPEG::JPEG STATIC IMPORTED GLOBAL)
set_target_properties(JPEG::JPEG PROPERTIES IMPORTED_LOCATION ${jpeg_build}/libjpeg.a)
target_include_directories(JPEG::JPEG INTERFACE ${VORNA_JPEG_SOURCE} ${jpeg_build})
add_dependencies(JPEG::JPEG libjpeg_web)

# The page's SDL layer stands where the system's SDL is found natively; the
# page has no threads.
add_library(vorna_web_sdl STATIC ${PROJECT_SOURCE_DIR}/src/platform/web/sdl_web.cpp
                                 ${PROJECT_SOURCE_DIR}/src/platform/web/page.cpp)
target_include_directories(vorna_web_sdl PUBLIC ${PROJECT_SOURCE_DIR}/src/platform/web/include
                                                ${PROJECT_SOURCE_DIR}/src)
vorna_warnings(vorna_web_sdl)
# The page's calls (page.cpp) are JavaScript imports, which do not pull their
# object out of the archive; one plain function there does.
target_link_options(vorna_web_sdl INTERFACE -Wl,--undefined=pageSeed)
add_library(PkgConfig::SDL INTERFACE IMPORTED GLOBAL)
target_link_libraries(PkgConfig::SDL INTERFACE vorna_web_sdl)
add_library(Threads::Threads INTERFACE IMPORTED GLOBAL)

# The same code as natively, with the SSE2 paths on WebAssembly's SIMD.
add_compile_options(-msimd128 -msse2)

add_subdirectory(tools/support)  # the embedder's shared header, the virtual world
add_subdirectory(tools/embed)
set(VORNA_HOST_RUNNER ${CMAKE_CROSSCOMPILING_EMULATOR})  # the embedder is wasm too: node runs it
# Node 20 has fetch, which this emscripten would use to load the wasm file: compile it at once instead.
target_link_options(vorna-embed PRIVATE -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=node -sWASM_ASYNC_COMPILATION=0)
add_subdirectory(assets)
add_subdirectory(src/geometry)
add_subdirectory(src/render)
add_subdirectory(src/image)
add_subdirectory(src/music)
add_subdirectory(src/framework)
add_subdirectory(src/scenes)

# The page plays the music from its audio callback instead of a thread.
get_target_property(music_sources vorna_music SOURCES)
list(FILTER music_sources EXCLUDE REGEX "/(playback_thread|audio_device)\\.cpp$")
list(APPEND music_sources ${PROJECT_SOURCE_DIR}/src/platform/web/playback_web.cpp
                          ${PROJECT_SOURCE_DIR}/src/platform/web/rand_web.cpp)
set_target_properties(vorna_music PROPERTIES SOURCES "${music_sources}")
target_link_libraries(vorna_music PUBLIC vorna_web_sdl)

# The production's entry point tells the page when it has ended. ASYNCIFY lets
# the present yield to the browser once a frame without changing any loop.
set_target_properties(vorna PROPERTIES SOURCES ${PROJECT_SOURCE_DIR}/src/platform/web/main_web.cpp
                                       OUTPUT_NAME vorna)
target_link_options(vorna PRIVATE -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=134217728
  -sMODULARIZE=1 -sEXPORT_NAME=createVorna -sINVOKE_RUN=1 -sEXIT_RUNTIME=0
  -sENVIRONMENT=web -sEXPORTED_RUNTIME_METHODS=[] -sFILESYSTEM=0 -sASSERTIONS=0)

# The comparison of the web build's frames and music with the native build's.
add_subdirectory(tools/web-compare)

# The page itself: its own files copied beside the program.
set(page_files index.html page.js page.css)
foreach(file ${page_files})
  configure_file(${PROJECT_SOURCE_DIR}/web/${file} ${PROJECT_BINARY_DIR}/${file} COPYONLY)
endforeach()
