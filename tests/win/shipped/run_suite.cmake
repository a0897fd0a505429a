# Runs each program in PROGRAMS through EMULATOR and fails when any of them fails; ctest passes on
# the environment that names the module under test.
#   cmake -DEMULATOR=... "-DPROGRAMS=a.exe;b.exe" -P run_suite.cmake
set(failed "")
foreach(program IN LISTS PROGRAMS)
  get_filename_component(name "${program}" NAME_WE)
  message(STATUS "== ${name}")
  execute_process(COMMAND "${EMULATOR}" "${program}" --gtest_brief=1 RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    list(APPEND failed "${name}")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "failed against the shipped module: ${failed}")
endif()
