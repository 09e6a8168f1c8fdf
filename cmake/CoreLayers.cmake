# One static library per core folder, velmorant_<folder>, linking only the
# lower folders it names; velmorant_core stands for all of them. The build
# also fails when a core file includes a header of a folder its library does
# not reach (cmake/CheckLayers.cmake): linking alone would not notice a
# header-only use of a higher folder.

# The folders `folder` reaches through its USES, itself included, into `out`.
# A folder met again on the way down is a cycle.
function(velmorant_core_reach folder path out)
  if(folder IN_LIST path)
    message(FATAL_ERROR "The core folders use each other in a circle: ${path};${folder}")
  endif()
  set(reach ${folder})
  get_property(uses GLOBAL PROPERTY VELMORANT_CORE_${folder}_USES)
  foreach(lower ${uses})
    if(NOT lower IN_LIST CORE_FOLDERS)
      message(FATAL_ERROR "src/${folder} uses ${lower}, which is no core folder")
    endif()
    velmorant_core_reach(${lower} "${path};${folder}" lower_reach)
    list(APPEND reach ${lower_reach})
  endforeach()
  list(REMOVE_DUPLICATES reach)
  set(${out} ${reach} PARENT_SCOPE)
endfunction()

set(layers "set(CORE_FOLDERS ${CORE_FOLDERS})\nset(CHECKED_FOLDERS ${CORE_FOLDERS})\n")
set(layer_files "")
add_library(velmorant_core INTERFACE)
foreach(folder ${CORE_FOLDERS})
  get_property(sources GLOBAL PROPERTY VELMORANT_CORE_${folder}_SOURCES)
  get_property(uses GLOBAL PROPERTY VELMORANT_CORE_${folder}_USES)
  set(lib velmorant_${folder})
  add_library(${lib} STATIC ${sources})
  target_include_directories(${lib} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${lib} PUBLIC Qt6::Core)
  list(TRANSFORM uses PREPEND velmorant_ OUTPUT_VARIABLE lower_libs)
  target_link_libraries(${lib} PUBLIC ${lower_libs})
  target_compile_options(${lib} PRIVATE ${WARNINGS})
  target_compile_definitions(${lib} PUBLIC QT_NO_KEYWORDS)
  add_dependencies(${lib} velmorant_layers)
  velmorant_precompiled(velmorant_pch ${lib})
  if(folder STREQUAL "record")
    # The answer logs are read with simdjson.
    target_link_libraries(${lib} PUBLIC simdjson::simdjson)
  endif()
  target_link_libraries(velmorant_core INTERFACE ${lib})

  velmorant_core_reach(${folder} "" reach)
  string(APPEND layers "set(REACH_${folder} ${reach})\n")
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${folder}/*.h)
  list(APPEND layer_files ${sources} ${headers})
endforeach()

set(VELMORANT_LAYERS_FILE ${CMAKE_BINARY_DIR}/core/layers.cmake)
file(CONFIGURE OUTPUT ${VELMORANT_LAYERS_FILE} CONTENT "${layers}")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/core/layers.checked
  COMMAND ${CMAKE_COMMAND} -DSRC=${CMAKE_SOURCE_DIR}/src -DLAYERS=${VELMORANT_LAYERS_FILE}
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/core/layers.checked
  DEPENDS ${layer_files} ${VELMORANT_LAYERS_FILE} ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
  COMMENT "Checking that each core folder includes only the folders it uses")
add_custom_target(velmorant_layers DEPENDS ${CMAKE_BINARY_DIR}/core/layers.checked)
