# Fails when a source file of one engine layer includes a header of a layer it may not use,
# so that the layers stay one way: platform <- values <- storage <- sql.
#
#   cmake -DROOT=<source dir> -DFOLDER=engine/storage -DALLOWED=engine/platform,engine/values,engine/storage
#         [-DSTAMP=<file written on success>] -P check_includes.cmake
#
# Every quoted include ("dir/file.h") of every .h and .cpp file under FOLDER (sub-folders
# too) must begin with one of the ALLOWED folders. Angle-bracket includes are not checked.
cmake_minimum_required(VERSION 3.25)

foreach(var ROOT FOLDER ALLOWED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_includes.cmake needs -D${var}=...")
  endif()
endforeach()
string(REPLACE "," ";" allowed "${ALLOWED}")

file(GLOB_RECURSE files "${ROOT}/${FOLDER}/*.h" "${ROOT}/${FOLDER}/*.cpp")
list(SORT files)
set(violations "")
foreach(file IN LISTS files)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" included "${line}")
    set(permitted FALSE)
    foreach(prefix IN LISTS allowed)
      string(FIND "${included}" "${prefix}/" at)
      if(at EQUAL 0)
        set(permitted TRUE)
        break()
      endif()
    endforeach()
    if(NOT permitted)
      file(RELATIVE_PATH shown "${ROOT}" "${file}")
      string(APPEND violations "  ${shown}: #include \"${included}\"\n")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "${FOLDER} may include only ${ALLOWED}; these includes go the wrong way:\n${violations}")
endif()
if(DEFINED STAMP)
  file(WRITE "${STAMP}" "")
endif()
