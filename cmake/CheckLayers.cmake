# cmake -DSRC=<src folder> -DLAYERS=<layers.cmake> -P CheckLayers.cmake
#
# Fails when a file of a core folder includes a header of a folder of SRC
# outside the folder's reach (REACH_<folder> in LAYERS: itself and the lower
# folders it uses), or climbs out of its folder with "..". Every finding is
# listed before failing.
cmake_minimum_required(VERSION 3.25)
include(${LAYERS})
file(GLOB entries LIST_DIRECTORIES true RELATIVE ${SRC} ${SRC}/*)
set(src_folders "")
foreach(entry ${entries})
  if(IS_DIRECTORY ${SRC}/${entry})
    list(APPEND src_folders ${entry})
  endif()
endforeach()

set(findings "")
foreach(folder ${CORE_FOLDERS})
  file(GLOB files RELATIVE ${SRC} ${SRC}/${folder}/*.h ${SRC}/${folder}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${SRC}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" header "${line}")
      if(header MATCHES "(^|/)\\.\\.(/|$)")
        string(APPEND findings "  src/${file}: ${header} (a path out of the folder)\n")
        continue()
      endif()
      string(REGEX MATCH "^[^/]+/" top "${header}")
      string(REGEX REPLACE "/$" "" top "${top}")
      if(top AND top IN_LIST src_folders AND NOT top IN_LIST REACH_${folder})
        list(JOIN REACH_${folder} ", " reach)
        string(APPEND findings "  src/${file}: ${header} (${folder} may include only ${reach})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(findings)
  message(FATAL_ERROR "A core folder includes a header of a folder above it:\n${findings}")
endif()
