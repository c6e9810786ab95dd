# Read by ctest at its start (see add_wine_test): the program runs once per prefix (NAME.KIND, writing NAME.KIND.xml);
# each NAME.KIND.Suite.Case reports its case from that file (a Wine process per case would cost 0.3-2 s).
set(suite "")
set(count 0)
if(EXISTS "${cases}")
  file(STRINGS "${cases}" lines)
endif()
get_filename_component(dir "${cases}" DIRECTORY)
foreach(p IN LISTS prefixes)
  add_test("${name}.${p}" bash -c "rm -f \"$1\"; \"\${@:2}\" --gtest_output=xml:\"$1\"; test -s \"$1\""
           -- "${name}.${p}.xml" ${runner} ${p} "${exe}")
  set_tests_properties("${name}.${p}" PROPERTIES FIXTURES_SETUP "${name}.${p}" WORKING_DIRECTORY "${dir}"
    ENVIRONMENT "${env};BENCH_KIND=${p}" RESOURCE_LOCK "${p};${locks}" TIMEOUT 900)
endforeach()
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z0-9_/]+)\\.")
    set(suite "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^  ([A-Za-z0-9_/]+)" AND suite)
    set(case "${suite}.${CMAKE_MATCH_1}")
    math(EXPR count "${count} + 1")
    foreach(p IN LISTS prefixes)
      set(t "${name}.${p}.${case}")
      add_test("${t}" "${cmake}" "-DXML=${dir}/${name}.${p}.xml" "-DSUITE=${suite}"
               "-DCASE=${CMAKE_MATCH_1}" -P "${here}/CaseResult.cmake")
      set_tests_properties("${t}" PROPERTIES FIXTURES_REQUIRED "${name}.${p}" SKIP_REGULAR_EXPRESSION "is skipped")
    endforeach()
  endif()
endforeach()
# A program whose cases could not be listed fails instead of vanishing.
if(count EQUAL 0)
  add_test("${name}.cases-not-listed" false)
endif()
