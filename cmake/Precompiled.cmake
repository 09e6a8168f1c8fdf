# Qt's headers are most of what a file of this project costs to compile
# (<QString> alone is about a second and a half), so the ones most files
# include are compiled once per build into a precompiled header that every
# target of the same flags reuses: one for the libraries and programs, one
# with GoogleTest for the tests. VELMORANT_PCH=OFF builds without, to see
# that each file includes what it uses.
option(VELMORANT_PCH "Compile the common Qt and standard headers once per build" ON)

set(VELMORANT_PCH_HEADERS
  <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QJsonArray> <QJsonDocument>
  <QJsonObject> <QList> <QString> <QStringList> <QUrl>
  <algorithm> <functional> <memory> <optional> <utility> <vector>)

# A target of one empty file that owns a precompiled header of the common
# headers and HEADERS, compiled with the flags of what it LINKS.
function(velmorant_pch_owner name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LINKS;HEADERS")
  if(NOT VELMORANT_PCH)
    return()
  endif()
  set(source ${CMAKE_BINARY_DIR}/pch/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// Owns the precompiled header ${name}.\n")
  add_library(${name} OBJECT ${source})
  target_link_libraries(${name} PRIVATE ${arg_LINKS})
  target_compile_definitions(${name} PRIVATE QT_NO_KEYWORDS)
  # -Wpedantic changes what the compiler defines, so the warnings are the
  # targets' too.
  target_compile_options(${name} PRIVATE ${WARNINGS})
  target_precompile_headers(${name} PRIVATE ${VELMORANT_PCH_HEADERS} ${arg_HEADERS})
endfunction()

# The targets compile with the precompiled header of `owner`, and so with
# its warnings. Their other flags must be the owner's (macros of their own
# are fine); where they are not, the compiler warns that it cannot use the
# header (-Winvalid-pch) and reads the headers themselves.
function(velmorant_precompiled owner)
  if(VELMORANT_PCH)
    foreach(target ${ARGN})
      set_target_properties(${target} PROPERTIES PRECOMPILE_HEADERS_REUSE_FROM ${owner})
      target_compile_options(${target} PRIVATE ${WARNINGS})
    endforeach()
  endif()
endfunction()
