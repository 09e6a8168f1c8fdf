# The core (Qt Core only): each of its folders lists its sources in its own
# CMakeLists.txt through velmorant_core_sources(). Shared by the main build
# and the fuzz build so the two can never compile different cores. Set
# VELMORANT_ROOT first; afterwards CORE_SOURCES holds every core source.
function(velmorant_core_sources)
  foreach(source ${ARGN})
    set_property(GLOBAL APPEND PROPERTY VELMORANT_CORE_SOURCES
      ${CMAKE_CURRENT_SOURCE_DIR}/${source})
  endforeach()
endfunction()

foreach(folder files series marks record report quiz layout session)
  add_subdirectory(${VELMORANT_ROOT}/src/${folder} ${CMAKE_BINARY_DIR}/core/${folder})
endforeach()
get_property(CORE_SOURCES GLOBAL PROPERTY VELMORANT_CORE_SOURCES)
# The answer logs are read with simdjson (libsimdjson-dev).
find_package(simdjson REQUIRED)
