# Installing like a desktop program, and the Debian package.
#
#   bin/velmorant, bin/velmorant-check, bin/velmorant-server
#   lib/<triplet>/velmorant/         the sound module
#   share/velmorant/samples/         the samples a user's folder is filled from
#   share/applications/<id>.desktop  the menu entry
#   share/metainfo/<id>.metainfo.xml AppStream
#   share/icons/hicolor/*/apps/<id>.{png,svg}
#   share/man/man1/velmorant{,-check}.1.gz, share/doc/velmorant/{copyright,changelog.gz}
#   share/lintian/overrides/velmorant
#   lib/systemd/system/velmorant-server@.service, lib/sysusers.d/velmorant.conf,
#   lib/tmpfiles.d/velmorant.conf         the classroom server as a service
#   share/doc/velmorant/server.md         running the server for a school
#
# The program finds its samples at ../share/velmorant/samples from its own
# folder, so any prefix works; in the build folder the same files are copied
# to share/velmorant/samples beside the program. The samples have a folder of
# their own because with the prefix ~/.local, share/velmorant is the user's
# own folder, which an install must not write into.
include(GNUInstallDirs)

set(VELMORANT_APP_ID org.velmorant.Velmorant)
set(VELMORANT_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

# The samples: catalogue, series, sounds, readme and a marks file without
# marks. The pictures are built into the program and are not needed here.
file(GLOB VELMORANT_SAMPLES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/data/*.TXT ${CMAKE_SOURCE_DIR}/data/*.WAV
  ${CMAKE_SOURCE_DIR}/data/readme.txt ${CMAKE_SOURCE_DIR}/data/Marked.txt)
foreach(sample ${VELMORANT_SAMPLES})
  get_filename_component(name ${sample} NAME)
  configure_file(${sample} ${CMAKE_BINARY_DIR}/share/velmorant/samples/${name} COPYONLY)
endforeach()

# An install as root leaves a root-owned install_manifest.txt in the build
# folder, which the next install as a user (--prefix ~/.local) could not
# replace: the user owns the folder, so the old manifest is removed first.
install(CODE "file(REMOVE \"${CMAKE_BINARY_DIR}/install_manifest.txt\")")

install(TARGETS velmorant RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The sound module is the program's own, not a library for others: it goes in
# the program's private folder, where the program looks for it (see
# VELMORANT_MODULE_DIR), and not where the dynamic linker looks.
install(TARGETS velmorant_sound LIBRARY DESTINATION ${VELMORANT_MODULE_DIR})
if(TARGET velmorant-check)
  install(TARGETS velmorant-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS velmorant-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package) also drops the compiler's name and
# version, which nothing reads, as Debian's own packages do.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  foreach(file ${CMAKE_INSTALL_BINDIR}/velmorant ${CMAKE_INSTALL_BINDIR}/velmorant-check
               ${CMAKE_INSTALL_BINDIR}/velmorant-server
               ${VELMORANT_MODULE_DIR}/velmorant-sound.so)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()")
install(FILES ${VELMORANT_SAMPLES} DESTINATION ${CMAKE_INSTALL_DATADIR}/velmorant/samples)
install(FILES ${VELMORANT_PACKAGING}/${VELMORANT_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELMORANT_PACKAGING}/${VELMORANT_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 32 48 64 128 256)
  install(FILES ${VELMORANT_PACKAGING}/icons/velmorant-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${VELMORANT_APP_ID}.png)
endforeach()
install(FILES ${VELMORANT_PACKAGING}/icons/velmorant.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  RENAME ${VELMORANT_APP_ID}.svg)

# Manual pages and changelog compressed the way Debian wants them: gzip -9n,
# so the bytes do not depend on the time of the build.
find_program(GZIP gzip REQUIRED)
set(VELMORANT_GZIPPED ${CMAKE_BINARY_DIR}/packaging)
set(VELMORANT_GZIPPED_FILES)
foreach(doc velmorant.1 velmorant-check.1 velmorant-server.1 changelog)
  add_custom_command(OUTPUT ${VELMORANT_GZIPPED}/${doc}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORANT_GZIPPED}
    COMMAND sh -c "${GZIP} -9nc \"$1\" > \"$2\"" gzip
            ${VELMORANT_PACKAGING}/${doc} ${VELMORANT_GZIPPED}/${doc}.gz
    DEPENDS ${VELMORANT_PACKAGING}/${doc}
    VERBATIM)
  list(APPEND VELMORANT_GZIPPED_FILES ${VELMORANT_GZIPPED}/${doc}.gz)
endforeach()
add_custom_target(velmorant_docs ALL DEPENDS ${VELMORANT_GZIPPED_FILES})
install(FILES ${VELMORANT_GZIPPED}/velmorant.1.gz ${VELMORANT_GZIPPED}/velmorant-check.1.gz
  ${VELMORANT_GZIPPED}/velmorant-server.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VELMORANT_PACKAGING}/copyright ${VELMORANT_GZIPPED}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmorant)
# The classroom server as a service: a unit for each class folder under
# /var/lib/velmorant, its user and that folder. With the prefix /usr these are
# the places systemd reads; under any other prefix they are inert.
install(FILES ${VELMORANT_PACKAGING}/systemd/velmorant-server@.service
  DESTINATION lib/systemd/system)
install(FILES ${VELMORANT_PACKAGING}/systemd/velmorant.sysusers
  DESTINATION lib/sysusers.d RENAME velmorant.conf)
install(FILES ${VELMORANT_PACKAGING}/systemd/velmorant.tmpfiles
  DESTINATION lib/tmpfiles.d RENAME velmorant.conf)
install(FILES ${CMAKE_SOURCE_DIR}/docs/server.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmorant)
# What lintian reports on purpose, each with the reason.
install(FILES ${VELMORANT_PACKAGING}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME velmorant)

# cpack -G DEB in the build folder (scripts/make-deb.sh does it from a fresh
# release build and runs lintian on the result).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmorant)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Velmorant authors")
set(CPACK_PACKAGE_CONTACT "Velmorant maintainers <maintainers@velmorant.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "term-sorting exercises for learning terminology")
set(CPACK_PACKAGE_DESCRIPTION
  "Velmorant is a desktop program for learning terminology by sorting terms
into groups. The learner picks a problem series, drags every term of a
problem into the frame of its group, and gets the answer checked with colours
and sounds. Problems can be marked for review and replayed as a series of
their own.
.
For a class, the classroom server velmorant-server serves the same series to
the learners' browsers, each learner signing in with a code, with a live page
for the teacher; the unit velmorant-server@.service runs it for each class
folder under /var/lib/velmorant (not enabled on install). velmorant-check
checks series files and sums up the learners' answers.
.
Series are plain Shift-JIS text files that teachers write themselves; the
package brings sample series on biology and a Japanese guide to the format.
The user interface is in Japanese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velmorant.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not found by dpkg-shlibdeps: the fonts the layout was made for, and the
# server's store, whose SQL driver Qt loads at run time. The X11 and
# offscreen platforms come with libqt6gui6, the TLS backend with
# libqt6network6 and the sound backends with libqt6multimedia6, which
# dpkg-shlibdeps finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, libqt6sql6-sqlite")
# The maintainer scripts make the server's user with systemd-sysusers, as
# debhelper's do.
string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
  ", systemd | systemd-standalone-sysusers | systemd-sysusers")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# The package's folders are 0755 whatever the umask of the one who builds:
# made under umask 027 they would hide the samples from every user but root.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/PackageFolderModes.cmake)
# The server's user and folder, and its instances restarted on an upgrade and
# stopped on removal (debhelper's conventions, written out).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${VELMORANT_PACKAGING}/debian/postinst
  ${VELMORANT_PACKAGING}/debian/prerm ${VELMORANT_PACKAGING}/debian/postrm)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Reproducible: every file in the package, and the package's own parts,
# carry the time of the release in the changelog rather than the time of the
# build (SOURCE_DATE_EPOCH, unless the caller set it already).
file(STRINGS ${VELMORANT_PACKAGING}/changelog VELMORANT_RELEASE_LINE REGEX "^ -- .*>  " LIMIT_COUNT 1)
string(REGEX REPLACE "^ -- .*>  (.*)$" "\\1" VELMORANT_RELEASE_DATE "${VELMORANT_RELEASE_LINE}")
execute_process(COMMAND date -u -d "${VELMORANT_RELEASE_DATE}" +%s
  OUTPUT_VARIABLE VELMORANT_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELMORANT_PACKAGING}/changelog)
file(WRITE ${CMAKE_BINARY_DIR}/CPackReleaseTime.cmake
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n  set(ENV{SOURCE_DATE_EPOCH} ${VELMORANT_RELEASE_EPOCH})\nendif()\n")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackReleaseTime.cmake)
include(CPack)
