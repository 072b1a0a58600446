# The desktop's files besides the programs (AppStream metainfo, manual pages)
# and the Debian package that `cpack -G DEB` makes from everything
# `cmake --install` installs. Included from the top CMakeLists.txt after the
# programs' own install rules.

# qt_standard_project_setup() gives the window a run path ($ORIGIN/../lib)
# for Qt libraries shipped beside it; the installed program takes the
# system's, and not whatever lies in a lib folder next to its bin folder.
set_target_properties(vexillo PROPERTIES INSTALL_RPATH "")

set(VEXILLO_APPSTREAM_ID io.github.vexillo.Vexillo)
install(FILES assets/${VEXILLO_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Every page in docs/man/ (a page added there is installed without a change
# here; CONFIGURE_DEPENDS makes the build notice it), compressed as Debian
# keeps manual pages: gzip -9n, without a name or time in the header, so
# that the same page always gives the same bytes.
find_program(VEXILLO_GZIP gzip REQUIRED)
file(GLOB VEXILLO_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.1)
set(VEXILLO_MAN_PAGES_GZ)
foreach(page ${VEXILLO_MAN_PAGES})
  get_filename_component(name ${page} NAME)
  set(copy ${CMAKE_BINARY_DIR}/man/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${page} ${copy}
    COMMAND ${VEXILLO_GZIP} -9nf ${copy}
    DEPENDS ${page}
    COMMENT "Compressing the manual page ${name}"
    VERBATIM)
  list(APPEND VEXILLO_MAN_PAGES_GZ ${copy}.gz)
endforeach()
add_custom_target(vexillo_man_pages ALL DEPENDS ${VEXILLO_MAN_PAGES_GZ})
install(FILES ${VEXILLO_MAN_PAGES_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence, as Debian's machine-readable copyright file (DEP-5), made of
# LICENSE: its copyright line, and its text below that line with each line
# indented by one blank and an empty one written " .".
file(READ ${CMAKE_SOURCE_DIR}/LICENSE VEXILLO_LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)\n+(.+[^\n])" VEXILLO_LICENSE_MATCH "${VEXILLO_LICENSE}")
if(NOT VEXILLO_LICENSE_MATCH)
  message(FATAL_ERROR "LICENSE has no line 'Copyright (c) YEAR HOLDER' followed by the licence")
endif()
set(VEXILLO_COPYRIGHT "${CMAKE_MATCH_1}")
string(REPLACE "\n\n" "\n.\n" VEXILLO_LICENSE_TEXT "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " VEXILLO_LICENSE_TEXT " ${VEXILLO_LICENSE_TEXT}")
# A thumbnailer linked whole holds copies of the libraries it links (libpng,
# zlib, libjpeg-turbo, the C and C++ runtime): their notices and licences
# follow, from cmake/static-thumbnailer.copyright. The shared link, as the
# Debian package has it, holds none.
set(VEXILLO_EMBEDDED_COPYRIGHT "")
if(VEXILLO_LINK_WHOLE_THUMBNAILER)
  file(READ ${CMAKE_SOURCE_DIR}/cmake/static-thumbnailer.copyright VEXILLO_EMBEDDED_COPYRIGHT)
  string(REPLACE "__VEXILLO_THUMBNAILER__" "${CMAKE_INSTALL_BINDIR}/vexillo-thumbnailer"
         VEXILLO_EMBEDDED_COPYRIGHT "\n${VEXILLO_EMBEDDED_COPYRIGHT}")
  string(REPLACE "__VEXILLO_COPYRIGHT__" "${VEXILLO_COPYRIGHT}" VEXILLO_EMBEDDED_COPYRIGHT
         "${VEXILLO_EMBEDDED_COPYRIGHT}")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: Vexillo\n"
  "\n"
  "Files: *\n"
  "Copyright: ${VEXILLO_COPYRIGHT}\n"
  "License: MIT\n"
  "${VEXILLO_EMBEDDED_COPYRIGHT}"
  "\n"
  "License: MIT\n"
  "${VEXILLO_LICENSE_TEXT}\n")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE
                                                              ${CMAKE_SOURCE_DIR}/cmake/static-thumbnailer.copyright)

# The changes of each version (docs/changelog, in Debian's format, its first
# entry the version built), compressed as the manual pages are and installed
# where Debian keeps a native package's changelog.
file(STRINGS ${CMAKE_SOURCE_DIR}/docs/changelog VEXILLO_CHANGELOG_HEAD LIMIT_COUNT 1)
if(NOT VEXILLO_CHANGELOG_HEAD MATCHES "^vexillo \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "docs/changelog begins '${VEXILLO_CHANGELOG_HEAD}', not an entry for vexillo ${PROJECT_VERSION}")
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/docs/changelog ${CMAKE_BINARY_DIR}/changelog
  COMMAND ${VEXILLO_GZIP} -9nf ${CMAKE_BINARY_DIR}/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/changelog
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(vexillo_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vexillo)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/changelog)
install(FILES ${CMAKE_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vexillo)

# After everything is installed: the desktop's caches of the prefix are
# refreshed (cmake/RefreshDesktopCaches.cmake), except in a staged install
# (DESTDIR), as cpack's Debian package is staged.
install(CODE "set(VEXILLO_INSTALL_DATADIR \"${CMAKE_INSTALL_DATADIR}\")")
install(SCRIPT cmake/RefreshDesktopCaches.cmake)

set(VEXILLO_PACKAGE_MAINTAINER "Vexillo developers <maintainers@vexillo.example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME vexillo)
set(CPACK_PACKAGE_VENDOR "The Vexillo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, view and extract the icons kept in Windows program files")
# The package's long description, as apt shows it: lines of fewer than 80
# characters (CPack puts the leading space before each), none beginning with
# a full stop (" ." is how the control file writes an empty line).
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Vexillo lists the icons kept inside Windows programs and libraries (read\n"
  "as data and never run: .exe, .dll, .cpl and .ocx files) and in .ico\n"
  "files, shows every image of an icon, and saves icons as ICO, BMP or PNG\n"
  "files.\n"
  "\n"
  "The package holds the desktop program (vexillo), its command-line\n"
  "companion (vexillo-cli) and a thumbnailer with which file managers show\n"
  "the icons of Windows programs and .ico files (vexillo-thumbnailer).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The installed programs without their debugging sections.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME vexillo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # vexillo_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VEXILLO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from the libraries the programs link (dpkg-shlibdeps, in dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's pictures are SVG files, which Qt reads through the plugins of
# libqt6svg6; no program links that library, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")

include(CPack)
