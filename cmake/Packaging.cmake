# The desktop's files besides the programs and their entries: the AppStream
# metainfo and the manual pages. Included from the top CMakeLists.txt after
# the programs' own install rules.

set(VEXILLO_APPSTREAM_ID io.github.vexillo.Vexillo)
install(FILES assets/${VEXILLO_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Every page in docs/man/ (a page added there is installed without a change
# here; CONFIGURE_DEPENDS makes the build notice it).
file(GLOB VEXILLO_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.1)
install(FILES ${VEXILLO_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
