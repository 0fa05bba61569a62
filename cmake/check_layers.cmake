# Fails when a file under src/ includes a header of a folder its layer may not use.
#   cmake -DSOURCE_DIR=<src> -DSTAMP=<file touched on success> -P check_layers.cmake
# Each folder may include itself and the folders listed for it, never one above it.

cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)

set(allowed_base base)
set(allowed_web base web)
set(allowed_services base web services)
set(allowed_export base web services export)
set(allowed_cli base web services export cli)
set(allowed_ui base web services export ui)
set(allowed_app base web services export ui app)

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(problems "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  if(NOT DEFINED allowed_${folder})
    string(APPEND problems "  ${source}: folder '${folder}' has no place in the layers\n")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*" "\\1" used "${line}")
    if(IS_DIRECTORY ${SOURCE_DIR}/${used} AND NOT used IN_LIST allowed_${folder})
      string(APPEND problems "  ${source}: includes ${used}/, which ${folder}/ may not use\n")
    endif()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "Includes against the layering (base -> web -> services -> export -> "
                      "cli, ui -> app):\n${problems}")
endif()
file(TOUCH ${STAMP})
