# cmake -DSRC=<src folder> -DLAYERS=<layers.cmake> -P CheckLayers.cmake
#
# Fails when a file of a checked folder (CHECKED_FOLDERS in LAYERS: the core
# folders and the server's rooms, such as server/http) includes a header of
# a folder of SRC outside the folder's reach (REACH_<folder>: itself and the
# lower folders it uses), or climbs out of its folder with "..". A header's
# folder is the deepest folder of SRC its path names: "server/http/X.h" is
# in server/http, "server/X.h" in server itself, the rooms' composition
# root. Every finding is listed before failing.
cmake_minimum_required(VERSION 3.25)
include(${LAYERS})
file(GLOB entries LIST_DIRECTORIES true RELATIVE ${SRC} ${SRC}/* ${SRC}/*/*)
set(src_folders "")
foreach(entry ${entries})
  if(IS_DIRECTORY ${SRC}/${entry})
    list(APPEND src_folders ${entry})
  endif()
endforeach()

set(findings "")
foreach(folder ${CHECKED_FOLDERS})
  file(GLOB files RELATIVE ${SRC} ${SRC}/${folder}/*.h ${SRC}/${folder}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${SRC}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" header "${line}")
      if(header MATCHES "(^|/)\\.\\.(/|$)")
        string(APPEND findings "  src/${file}: ${header} (a path out of the folder)\n")
        continue()
      endif()
      string(REGEX MATCH "^[^/]+/[^/]+/" two "${header}")
      string(REGEX REPLACE "/$" "" two "${two}")
      string(REGEX MATCH "^[^/]+/" top "${header}")
      string(REGEX REPLACE "/$" "" top "${top}")
      if(two AND two IN_LIST src_folders)
        set(top ${two})
      endif()
      if(top AND top IN_LIST src_folders AND NOT top IN_LIST REACH_${folder})
        list(JOIN REACH_${folder} ", " reach)
        string(APPEND findings "  src/${file}: ${header} (${folder} may include only ${reach})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(findings)
  message(FATAL_ERROR "A folder includes a header of a folder above it:\n${findings}")
endif()
