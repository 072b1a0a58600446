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
# here; CONFIGURE_DEPENDS makes the build notice it).
file(GLOB VEXILLO_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.1)
install(FILES ${VEXILLO_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(VEXILLO_PACKAGE_MAINTAINER "Vexillo developers <maintainers@vexillo.example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME vexillo)
set(CPACK_PACKAGE_VENDOR "The Vexillo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, view and extract the icons kept in Windows program files")
# The package's long description, as apt shows it: lines of fewer than 80
# characters (CPack puts the leading space before each).
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Vexillo lists the icons kept inside Windows programs and libraries (.exe,\n"
  ".dll, .cpl and .ocx files, read as data and never run) and in .ico files,\n"
  "shows every image of an icon, and saves icons as ICO, BMP or PNG files.\n"
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
