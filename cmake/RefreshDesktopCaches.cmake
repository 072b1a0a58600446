# Run by `cmake --install` once the files are in place (install(SCRIPT)):
# refreshes the caches through which the desktop finds what was installed
# under the prefix, with whichever of the tools exist: the desktop entries'
# types (the file manager's Open With), and the MIME database and the icon
# theme's cache where the prefix keeps them. A staged install (DESTDIR, as
# cpack makes the Debian package) refreshes nothing: the package manager's
# triggers do it where the files end up.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()

set(vexillo_share "${VEXILLO_INSTALL_DATADIR}")
if(NOT IS_ABSOLUTE "${vexillo_share}")
  set(vexillo_share "${CMAKE_INSTALL_PREFIX}/${vexillo_share}")
endif()

find_program(vexillo_update_desktop_database update-desktop-database)
if(vexillo_update_desktop_database AND IS_DIRECTORY "${vexillo_share}/applications")
  message(STATUS "Refreshing: ${vexillo_share}/applications")
  execute_process(COMMAND "${vexillo_update_desktop_database}" -q "${vexillo_share}/applications")
endif()

find_program(vexillo_update_mime_database update-mime-database)
if(vexillo_update_mime_database AND IS_DIRECTORY "${vexillo_share}/mime/packages")
  message(STATUS "Refreshing: ${vexillo_share}/mime")
  execute_process(COMMAND "${vexillo_update_mime_database}" "${vexillo_share}/mime")
endif()

# A theme without a cache is read file by file; one with a stale cache
# does not show the new icon.
find_program(vexillo_gtk_update_icon_cache gtk-update-icon-cache)
if(vexillo_gtk_update_icon_cache AND EXISTS "${vexillo_share}/icons/hicolor/icon-theme.cache")
  message(STATUS "Refreshing: ${vexillo_share}/icons/hicolor")
  execute_process(COMMAND "${vexillo_gtk_update_icon_cache}" -q -t "${vexillo_share}/icons/hicolor")
endif()
