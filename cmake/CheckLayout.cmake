# Fails when a source file of src/ includes what its folder may not:
#   - a header of a folder it does not build on (the folders of src/ depend on
#     one another in one direction only: each may include its own headers and
#     those of the folders listed for it below, what its library links);
#   - a header of another folder that that folder keeps to itself: each folder
#     names below its public headers, what it offers the others, and every
#     other header of it is its own;
#   - a header reached by a path that climbs out of the folder ("../x.h"),
#     which would pass the two rules above unseen;
#   - Qt, in a Qt-free folder.
# Each fault is named with its file and line. Run with
#   cmake -DSOURCE_DIR=<src> -P CheckLayout.cmake
set(uses_formats "")
set(uses_platform formats)
set(uses_icons platform formats)
set(uses_catalogue icons platform formats)
set(uses_export catalogue icons platform formats)
set(uses_settings platform formats)
set(uses_ui platform formats)
set(uses_dialogs ui settings catalogue icons platform formats)
set(uses_app dialogs ui settings export catalogue icons platform formats)
set(uses_cli export catalogue icons platform formats settings)
set(qt_free formats platform icons catalogue export settings cli)

set(public_formats anicursor.h ascii.h bmpwriter.h byteview.h fileinfo.h fileio.h filekind.h icofile.h
    icondecode.h image.h initext.h jpegdecode.h loadbudget.h moduleresources.h outputfolder.h pngwriter.h
    readerror.h sha256.h sharedbytes.h utf8.h)
set(public_platform extracticon.h gdi.h iconobject.h inifile.h pemodule.h streams.h)
set(public_icons advancedicon.h i2bconvert.h icontools.h icontypes.h)
set(public_catalogue catalogue.h catalogueview.h entrykey.h entrysets.h entryview.h failuretext.h filenames.h
    grouploader.h pages.h scanrun.h)
set(public_export extract.h imagesaves.h pngpictures.h records.h saveflows.h thumbnail.h xcursortheme.h)
set(public_settings recentfiles.h settings.h)
set(public_ui animatedcursor.h contrast.h pictures.h public.h qticons.h screenfit.h)
set(public_dialogs frmabout.h frmfolder.h frmsavepath.h frmunread.h)
set(public_app "")
set(public_cli "")

# Adds to faults the fault found in source at its include line.
macro(add_fault source line why)
  file(READ ${SOURCE_DIR}/${source} text)
  string(FIND "\n${text}" "\n${line}" at)
  string(SUBSTRING "${text}" 0 ${at} before)
  string(REGEX REPLACE "[^\n]" "" newlines "${before}")
  string(LENGTH "${newlines}" number)
  math(EXPR number "${number} + 1")
  string(APPEND faults "  ${source}:${number}: ${line} (${why})\n")
endmacro()

file(GLOB sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*/*.h ${SOURCE_DIR}/*/*.cpp)
set(faults "")
foreach(source ${sources})
  string(REGEX MATCH "^[^/]+" folder ${source})
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^#include [\"<]")
  foreach(line ${includes})
    if(line MATCHES "^#include [\"<]([^\">]*/)?\\.\\./")
      add_fault(${source} "${line}" "climbs out of ${folder}/: name the header as folder/name.h")
    elseif(line MATCHES "^#include \"([a-z]+)/([^\"]+)\"")
      set(used ${CMAKE_MATCH_1})
      set(header ${CMAKE_MATCH_2})
      if(NOT DEFINED uses_${folder})
        add_fault(${source} "${line}" "a folder outside the layout")
      elseif(NOT used STREQUAL folder)
        list(FIND uses_${folder} ${used} allowed)
        list(FIND public_${used} ${header} public)
        if(allowed EQUAL -1)
          add_fault(${source} "${line}" "${folder}/ does not build on ${used}/")
        elseif(public EQUAL -1)
          add_fault(${source} "${line}" "${used}/${header} is private to ${used}/: use one of its public headers")
        endif()
      endif()
    elseif(line MATCHES "^#include <Q")
      list(FIND qt_free ${folder} qt_free_folder)
      if(NOT qt_free_folder EQUAL -1)
        add_fault(${source} "${line}" "${folder}/ is Qt-free")
      endif()
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Includes that run against the layout of src/:\n${faults}")
endif()
