# The classroom server's rooms (src/server/<room>): one static library
# each, velmorant_server_<room>, linking the core, the lower rooms it names
# and nothing above. As for the core folders, the build also fails when a
# room's file includes a header of a room it does not reach, or of the
# server's composition root above them all (cmake/CheckLayers.cmake).
#
#   velmorant_server_room(<room> [USES <lower room or src folder>...]
#                         [LIBRARIES <other library>...] SOURCES <file>...)
#
# A room may use only rooms declared before it, so the rooms can never use
# each other in a circle; a USES name that is no room is a folder of src/
# beside the core (measure, lrs), linked as velmorant_<name>. Every room
# reaches the whole core.

set(SERVER_ROOMS "")
set(SERVER_LAYERS "include(${VELMORANT_LAYERS_FILE})\n")

macro(velmorant_server_room room)
  cmake_parse_arguments(room_arg "" "" "USES;LIBRARIES;SOURCES" ${ARGN})
  set(room_lib velmorant_server_${room})
  list(TRANSFORM room_arg_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/${room}/ OUTPUT_VARIABLE room_sources)
  add_library(${room_lib} STATIC ${room_sources})
  target_link_libraries(${room_lib} PUBLIC velmorant_core Qt6::Core ${room_arg_LIBRARIES})
  target_compile_options(${room_lib} PRIVATE ${WARNINGS})
  velmorant_precompiled(velmorant_pch ${room_lib})
  set(room_reach server/${room} ${CORE_FOLDERS})
  foreach(lower ${room_arg_USES})
    if(lower IN_LIST SERVER_ROOMS)
      target_link_libraries(${room_lib} PUBLIC velmorant_server_${lower})
      list(APPEND room_reach ${SERVER_REACH_${lower}})
    elseif(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/src/${lower} AND TARGET velmorant_${lower})
      target_link_libraries(${room_lib} PUBLIC velmorant_${lower})
      list(APPEND room_reach ${lower})
    else()
      message(FATAL_ERROR "The server's room ${room} uses ${lower}, which is neither a room "
                          "declared before it nor a library of src/")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES room_reach)
  set(SERVER_REACH_${room} ${room_reach})
  list(APPEND SERVER_ROOMS ${room})
  string(APPEND SERVER_LAYERS "list(APPEND CHECKED_FOLDERS server/${room})\n"
                              "set(REACH_server/${room} ${room_reach})\n")
  file(GLOB room_headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${room}/*.h)
  list(APPEND SERVER_LAYER_FILES ${room_sources} ${room_headers})
endmacro()

# After the last room: the layers file with the core's folders and the
# rooms, and the check every room's library waits for. The layer test
# (tests/layers_test.sh) takes the same file.
macro(velmorant_server_rooms_checked)
  set(server_layers_file ${CMAKE_BINARY_DIR}/server/layers.cmake)
  file(CONFIGURE OUTPUT ${server_layers_file} CONTENT "${SERVER_LAYERS}")
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/server/layers.checked
    COMMAND ${CMAKE_COMMAND} -DSRC=${CMAKE_SOURCE_DIR}/src -DLAYERS=${server_layers_file}
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/server/layers.checked
    DEPENDS ${SERVER_LAYER_FILES} ${server_layers_file} ${VELMORANT_LAYERS_FILE}
            ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMENT "Checking that each room of the server includes only the rooms it uses")
  add_custom_target(velmorant_server_layers DEPENDS ${CMAKE_BINARY_DIR}/server/layers.checked)
  foreach(room ${SERVER_ROOMS})
    add_dependencies(velmorant_server_${room} velmorant_server_layers)
  endforeach()
  set(VELMORANT_LAYERS_FILE ${server_layers_file} PARENT_SCOPE)
endmacro()
