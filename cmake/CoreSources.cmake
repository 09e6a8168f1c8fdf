# The core's sources (Qt Core only), shared by the main build and the fuzz
# build so the two can never compile different cores. Set VELMORANT_ROOT first.
file(GLOB_RECURSE CORE_SOURCES CONFIGURE_DEPENDS
  ${VELMORANT_ROOT}/src/state/*.cpp
  ${VELMORANT_ROOT}/src/session/*.cpp
  ${VELMORANT_ROOT}/src/series/*.cpp
  ${VELMORANT_ROOT}/src/board/*.cpp
  ${VELMORANT_ROOT}/src/session/*.cpp
  ${VELMORANT_ROOT}/src/quiz/*.cpp
  ${VELMORANT_ROOT}/src/marks/*.cpp
  ${VELMORANT_ROOT}/src/layout/*.cpp
  ${VELMORANT_ROOT}/src/files/*.cpp)
