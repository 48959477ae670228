# Test of check_includes.cmake: a storage file that includes an SQL header is refused and
# named; a tree whose includes follow the layers passes.
#   cmake -DSCRIPT=<check_includes.cmake> -DWORK=<scratch dir> -P check_includes_test.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK}")
file(WRITE "${WORK}/engine/storage/cursor/fine.h" "#include <vector>\n#include \"engine/values/exp_token.h\"\n")
file(WRITE "${WORK}/engine/storage/cursor/fine.cpp" "#include \"engine/storage/cursor/fine.h\"\n")

function(run_check expect_ok)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -DROOT=${WORK} -DFOLDER=engine/storage
            -DALLOWED=engine/platform,engine/values,engine/storage -P "${SCRIPT}"
    RESULT_VARIABLE result ERROR_VARIABLE output)
  if(expect_ok AND NOT result EQUAL 0)
    message(FATAL_ERROR "a tree that follows the layers was refused:\n${output}")
  endif()
  if(NOT expect_ok AND result EQUAL 0)
    message(FATAL_ERROR "an include the wrong way was accepted")
  endif()
  set(check_output "${output}" PARENT_SCOPE)
endfunction()

run_check(TRUE)

file(WRITE "${WORK}/engine/storage/data/wrong.cpp"
     "#include \"engine/storage/cursor/fine.h\"\n  #  include \"engine/sql/type_checker.h\"\n")
run_check(FALSE)
if(NOT check_output MATCHES "engine/storage/data/wrong.cpp: #include \"engine/sql/type_checker.h\"")
  message(FATAL_ERROR "the refusal does not name the file and its include:\n${check_output}")
endif()
if(check_output MATCHES "cursor/fine")
  message(FATAL_ERROR "the refusal names a file that follows the layers:\n${check_output}")
endif()

# A folder name that merely starts like an allowed one is no excuse.
file(REMOVE "${WORK}/engine/storage/data/wrong.cpp")
file(WRITE "${WORK}/engine/storage/data/prefix.h" "#include \"engine/valuesx/other.h\"\n")
run_check(FALSE)
