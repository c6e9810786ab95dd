# Read by ctest when it starts (see add_wine_test): one test per GoogleTest
# case of ${exe} and prefix kind, from the list the build wrote to ${cases}.
#
# By default the program runs once per prefix (the test NAME.KIND, which
# writes NAME.KIND.xml and fails only when the program ended before writing
# it), and each case test NAME.KIND.Suite.Case reports that case's result
# from the file: a Wine process per case would cost 0.3-2 s each.
# Configured with -DWINE_TEST_CASE_PROCESS=ON, every case runs in a process of its own instead.
set(suite "")
set(count 0)
if(EXISTS "${cases}")
  file(STRINGS "${cases}" lines)
endif()
get_filename_component(dir "${cases}" DIRECTORY)
if(NOT per_case)
  foreach(p IN LISTS prefixes)
    add_test("${name}.${p}" bash -c "rm -f \"$1\"; \"\${@:2}\" --gtest_output=xml:\"$1\"; test -s \"$1\""
             -- "${name}.${p}.xml" ${runner} ${p} "${exe}")
    set_tests_properties("${name}.${p}" PROPERTIES FIXTURES_SETUP "${name}.${p}" WORKING_DIRECTORY "${dir}"
      ENVIRONMENT "${env};BENCH_KIND=${p}" RESOURCE_LOCK "${p};${locks}" TIMEOUT 900)
  endforeach()
endif()
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z0-9_/]+)\\.")
    set(suite "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^  ([A-Za-z0-9_/]+)" AND suite)
    set(case "${suite}.${CMAKE_MATCH_1}")
    math(EXPR count "${count} + 1")
    foreach(p IN LISTS prefixes)
      set(t "${name}.${p}.${case}")
      if(per_case)
        add_test("${t}" ${runner} ${p} "${exe}" "--gtest_filter=${case}")
        set_tests_properties("${t}" PROPERTIES ENVIRONMENT "${env};BENCH_KIND=${p}" RESOURCE_LOCK "${p};${locks}" TIMEOUT 600)
      else()
        add_test("${t}" "${cmake}" "-DXML=${dir}/${name}.${p}.xml" "-DSUITE=${suite}"
                 "-DCASE=${CMAKE_MATCH_1}" -P "${here}/CaseResult.cmake")
        set_tests_properties("${t}" PROPERTIES FIXTURES_REQUIRED "${name}.${p}" SKIP_REGULAR_EXPRESSION "is skipped")
      endif()
    endforeach()
  endif()
endforeach()
# A program whose cases could not be listed fails instead of vanishing.
if(count EQUAL 0)
  add_test("${name}.cases-not-listed" false)
endif()
