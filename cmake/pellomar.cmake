# Helpers shared by the folders' CMakeLists.
#
# pellomar_library(NAME DIR [QT] [RECURSE] DEPS ...): a static library of every DIR/*.cpp
#   (with RECURSE also those of DIR's sub-folders) that is not a test (*_test.cpp) and not a
#   window file the caller excludes with EXCLUDE.
# pellomar_tests(DIR [RECURSE] DEPS ...): one executable and one ctest test per
#   DIR/*_test.cpp (with RECURSE also in sub-folders), linked with GoogleTest's main unless
#   the file defines its own (a *_qtest.cpp file is a Qt Test and is linked with Qt Test
#   instead).
# pellomar_include_check(TARGET DIR ALLOWED FOLDER...): before TARGET builds, every quoted
#   include of DIR's files (sub-folders too) must lie in one of the ALLOWED folders.

function(pellomar_library name dir)
  cmake_parse_arguments(ARG "QT;RECURSE" "" "DEPS;EXCLUDE" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  endif()
  list(FILTER sources EXCLUDE REGEX "_(test|qtest|bench)\\.cpp$")
  foreach(pattern IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    if(ARG_QT)
      set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON AUTOUIC ON)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# Environment every test runs in: no display, sanitizer reports that stop the test.
# Leaks are checked in the engine's tests; Qt and fontconfig keep process-lifetime caches that
# LeakSanitizer would report, so window tests (folders given QT_LEAKS) run without the check.
set(PELLOMAR_TEST_ENV
  "QT_QPA_PLATFORM=offscreen"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "PELLOMAR_SHARED_CATALOGUE=${PROJECT_SOURCE_DIR}/../shared/catalogue"
  "PELLOMAR_SOURCE_DIR=${PROJECT_SOURCE_DIR}")

function(pellomar_tests dir)
  cmake_parse_arguments(ARG "QT_LEAKS;RECURSE" "" "DEPS" ${ARGN})
  if(ARG_QT_LEAKS)
    set(asan "ASAN_OPTIONS=detect_leaks=0:halt_on_error=1")
  else()
    set(asan "ASAN_OPTIONS=detect_leaks=1:halt_on_error=1")
  endif()
  if(ARG_RECURSE)
    file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${dir}/*_test.cpp ${dir}/*_qtest.cpp)
  else()
    file(GLOB tests CONFIGURE_DEPENDS ${dir}/*_test.cpp ${dir}/*_qtest.cpp)
  endif()
  foreach(src IN LISTS tests)
    get_filename_component(tname ${src} NAME_WE)
    add_executable(${tname} ${src})
    target_link_libraries(${tname} PRIVATE ${ARG_DEPS} Threads::Threads)
    if(src MATCHES "_qtest\\.cpp$")
      set_target_properties(${tname} PROPERTIES AUTOMOC ON)
      target_link_libraries(${tname} PRIVATE Qt6::Test Qt6::Widgets GTest::gtest GTest::gmock)
    else()
      target_link_libraries(${tname} PRIVATE GTest::gtest_main GTest::gmock)
    endif()
    set_target_properties(${tname} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    if(PELLOMAR_SANITIZE)
      # A test source is mostly assertion code, which the sanitizers make slow to optimise:
      # unoptimised it compiles in a third of the time, while the code under test keeps the
      # build's optimisation.
      target_compile_options(${tname} PRIVATE -O0)
    endif()
    add_test(NAME ${tname} COMMAND ${tname} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set_tests_properties(${tname} PROPERTIES ENVIRONMENT "${PELLOMAR_TEST_ENV};${asan}" TIMEOUT 600)
  endforeach()
endfunction()

function(pellomar_include_check target folder)
  cmake_parse_arguments(ARG "" "" "ALLOWED" ${ARGN})
  list(JOIN ARG_ALLOWED "," allowed)
  set(script ${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake)
  file(GLOB_RECURSE checked CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_includes.stamp)
  file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${folder})
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -DFOLDER=${shown} -DALLOWED=${allowed} -DSTAMP=${stamp}
            -P ${script}
    DEPENDS ${checked} ${script}
    COMMENT "Checking the includes of ${shown}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()

function(pellomar_benchmarks dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB benches CONFIGURE_DEPENDS ${dir}/*_bench.cpp)
  foreach(src IN LISTS benches)
    get_filename_component(bname ${src} NAME_WE)
    # Figures come from optimised builds: a sanitizer build makes the benchmarks only when
    # they are asked for by name.
    if(PELLOMAR_SANITIZE)
      add_executable(${bname} EXCLUDE_FROM_ALL ${src})
    else()
      add_executable(${bname} ${src})
    endif()
    target_link_libraries(${bname} PRIVATE ${ARG_DEPS} benchmark::benchmark SQLite::SQLite3 Threads::Threads)
    set_target_properties(${bname} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  endforeach()
endfunction()
