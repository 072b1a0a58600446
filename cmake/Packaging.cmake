# The desktop's files besides the programs and their entries: the AppStream
# metainfo. Included from the top CMakeLists.txt after the programs' own
# install rules.

set(VEXILLO_APPSTREAM_ID io.github.vexillo.Vexillo)
install(FILES assets/${VEXILLO_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
