# The web build (the web preset, Debian's Emscripten): the demo as a site of three files in
# build/web/site/ (index.html, skr4mm3lb0d.js, skr4mm3lb0d.wasm) that any static web host can
# serve. The resources are embedded as on Linux. Included by the top-level CMakeLists.txt.

add_library(skr_platform_web STATIC
  platform/web/web_platform.cpp
  platform/web/web_audio.cpp
  platform/web/web_thread.cpp)
target_link_libraries(skr_platform_web PUBLIC skr_core)
target_link_libraries(skr_core PUBLIC skr_platform_web)

set(SKR_SITE_DIR ${CMAKE_BINARY_DIR}/site)
set(SKR_WEB_LIBRARY ${CMAKE_SOURCE_DIR}/platform/web/web_library.js)
add_executable(skr4mm3lb0d host/entry_web.cpp)
target_link_libraries(skr4mm3lb0d PRIVATE skr_core skr_platform_web)
set_target_properties(skr4mm3lb0d PROPERTIES
  SUFFIX ".js"
  RUNTIME_OUTPUT_DIRECTORY ${SKR_SITE_DIR}
  LINK_DEPENDS ${SKR_WEB_LIBRARY})
# Our own page loads the script: emcc writes only the .js and the .wasm. One function makes the
# program (createSkr4mm3lb0d), for the browser only; memory grows where the song needs it.
target_link_options(skr4mm3lb0d PRIVATE
  -sMODULARIZE=1
  -sEXPORT_NAME=createSkr4mm3lb0d
  -sENVIRONMENT=web
  -sALLOW_MEMORY_GROWTH=1
  -sEXPORTED_FUNCTIONS=_main,_webStart,_webFrame,_webCaptureFrame,_webFeed,_webQuit,_webSongPosition,_webScenePosition,_webHeardSeconds,_webPlaysSilently,_webMathDigest
  --js-library ${SKR_WEB_LIBRARY})

add_custom_command(TARGET skr4mm3lb0d POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/platform/web/index.html ${SKR_SITE_DIR}/index.html
  COMMENT "The page: site/index.html")
# The page changes without the program relinking: copy it on every build as well.
add_custom_target(skr_web_page ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/platform/web/index.html ${SKR_SITE_DIR}/index.html
  DEPENDS ${CMAKE_SOURCE_DIR}/platform/web/index.html)
