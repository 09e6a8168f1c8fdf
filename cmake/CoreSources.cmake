# The core (Qt Core only): each of its folders declares its sources and the
# lower folders it uses in its own CMakeLists.txt through
# velmorant_core_folder(). Shared by the main build and the fuzz build so the
# two can never compile different cores. Set VELMORANT_ROOT first; afterwards
# CORE_SOURCES holds every core source and CORE_FOLDERS the folders.
#
#   velmorant_core_folder(<folder> [USES <lower folder>...] SOURCES <file>...)
function(velmorant_core_folder folder)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "USES;SOURCES")
  list(TRANSFORM arg_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  set_property(GLOBAL PROPERTY VELMORANT_CORE_${folder}_SOURCES ${arg_SOURCES})
  set_property(GLOBAL PROPERTY VELMORANT_CORE_${folder}_USES ${arg_USES})
  set_property(GLOBAL APPEND PROPERTY VELMORANT_CORE_SOURCES ${arg_SOURCES})
endfunction()

set(CORE_FOLDERS files series marks quiz layout record session report)
foreach(folder ${CORE_FOLDERS})
  add_subdirectory(${VELMORANT_ROOT}/src/${folder} ${CMAKE_BINARY_DIR}/core/${folder})
endforeach()
get_property(CORE_SOURCES GLOBAL PROPERTY VELMORANT_CORE_SOURCES)
# The answer logs are read with simdjson (libsimdjson-dev).
find_package(simdjson REQUIRED)
