# The player library's sources and version, for every build that makes the library (the project
# and the fuzzer). Set XMPLAYER_ROOT to the project's folder first.
# Sets XMPLAYER_SOURCES, XMPLAYER_VERSION and XMPLAYER_VERSION_MAJOR.

# The library: the player's own folders and the portable maths it computes with.
file(GLOB XMPLAYER_SOURCES CONFIGURE_DEPENDS ${XMPLAYER_ROOT}/player/*.cpp ${XMPLAYER_ROOT}/player/load/*.cpp
     ${XMPLAYER_ROOT}/player/play/*.cpp ${XMPLAYER_ROOT}/player/mix/*.cpp ${XMPLAYER_ROOT}/maths/*.cpp)

# The version is written once, in the public header, where C programs see it at compile time.
file(STRINGS ${XMPLAYER_ROOT}/player/include/xmplayer.h XMPLAYER_VERSION_LINES
     REGEX "^#define XMPLAYER_VERSION_(MAJOR|MINOR|PATCH) [0-9]+")
foreach(part MAJOR MINOR PATCH)
  string(REGEX REPLACE ".*XMPLAYER_VERSION_${part} ([0-9]+).*" "\\1" XMPLAYER_VERSION_${part} "${XMPLAYER_VERSION_LINES}")
endforeach()
set(XMPLAYER_VERSION ${XMPLAYER_VERSION_MAJOR}.${XMPLAYER_VERSION_MINOR}.${XMPLAYER_VERSION_PATCH})
