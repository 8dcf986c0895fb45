# cmake -DAREA=storage -DDIR=<src/storage> -DAREAS=common,platform,...
#       -DHEADER_ALLOWED=storage,config,common -DSOURCE_ALLOWED=... [-DSTAMP=<file>]
#       -P check_layers.cmake
# Fails when a file of DIR includes "folder/..." of a known area that the
# layer graph in CMakeLists.txt does not let it use: headers may include what
# the area's public dependencies export, sources also its private ones.
cmake_minimum_required(VERSION 3.25)
foreach(_v AREA DIR AREAS HEADER_ALLOWED SOURCE_ALLOWED)
  if(NOT DEFINED ${_v})
    message(FATAL_ERROR "check_layers.cmake: ${_v} is not set")
  endif()
endforeach()
string(REPLACE "," ";" _areas "${AREAS}")
string(REPLACE "," ";" _header_allowed "${HEADER_ALLOWED}")
string(REPLACE "," ";" _source_allowed "${SOURCE_ALLOWED}")

file(GLOB _files ${DIR}/*.h ${DIR}/*.cpp)
set(_wrong "")
foreach(_file ${_files})
  if(_file MATCHES "\\.h$")
    set(_allowed ${_header_allowed})
    set(_kind "header")
  else()
    set(_allowed ${_source_allowed})
    set(_kind "source")
  endif()
  file(STRINGS ${_file} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z0-9_]+/")
  foreach(_line ${_lines})
    string(REGEX MATCH "\"([A-Za-z0-9_]+)/[^\"]*\"" _include "${_line}")
    set(_folder ${CMAKE_MATCH_1})
    if(_folder IN_LIST _areas AND NOT _folder IN_LIST _allowed)
      string(REPLACE ";" ", " _names "${_allowed}")
      string(APPEND _wrong "  ${_file}: includes ${_include}, but a ${_kind} of ${AREA}/ may "
                           "include only ${_names}\n")
    endif()
  endforeach()
endforeach()
if(_wrong)
  message(FATAL_ERROR "Wrong-direction include (the layer graph is in CMakeLists.txt):\n${_wrong}")
endif()
if(DEFINED STAMP)
  file(WRITE ${STAMP} "")
endif()
