# Checks the release archive: exactly the expected files at the paths the plug-in's relative paths
# imply, and a DLL that is byte for byte the one the black-box suite ran (SHIPPED_DLL) and the one
# the build made (BUILT_DLL), stripped of debug information.
#   cmake -DARCHIVE=... "-DEXPECTED=a;b" -DSHIPPED_DLL=... -DBUILT_DLL=... -DDLL_ENTRY=...
#         -DOBJDUMP=... -DSCRATCH=... -P check_package.cmake
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar tf "${ARCHIVE}" OUTPUT_VARIABLE listing
                RESULT_VARIABLE listed)
if(NOT listed EQUAL 0)
  message(FATAL_ERROR "cannot list ${ARCHIVE}")
endif()
string(REPLACE "\n" ";" entries "${listing}")
set(files "")
foreach(entry IN LISTS entries)
  if(entry AND NOT entry MATCHES "/$")
    list(APPEND files "${entry}")
  endif()
endforeach()
list(SORT files)
set(expected ${EXPECTED})
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "the archive holds\n  ${files}\nbut should hold\n  ${expected}")
endif()

file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${ARCHIVE}" "${DLL_ENTRY}"
                WORKING_DIRECTORY "${SCRATCH}" RESULT_VARIABLE extracted)
if(NOT extracted EQUAL 0 OR NOT EXISTS "${SCRATCH}/${DLL_ENTRY}")
  message(FATAL_ERROR "cannot take ${DLL_ENTRY} out of the archive")
endif()
file(SHA256 "${SCRATCH}/${DLL_ENTRY}" archived)
file(SHA256 "${SHIPPED_DLL}" ran)
file(SHA256 "${BUILT_DLL}" built)
if(NOT archived STREQUAL ran)
  message(FATAL_ERROR "the archive's DLL is not the one the black-box suite ran")
endif()
if(NOT archived STREQUAL built)
  message(FATAL_ERROR "the archive's DLL is not the one the build made")
endif()

execute_process(COMMAND "${OBJDUMP}" -h "${SCRATCH}/${DLL_ENTRY}" OUTPUT_VARIABLE sections)
if(sections MATCHES "\\.debug_")
  message(FATAL_ERROR "the archive's DLL carries debug information")
endif()
file(SIZE "${SCRATCH}/${DLL_ENTRY}" size)
message(STATUS "archive ${ARCHIVE}: ${files}; DLL ${size} bytes, sha256 ${archived}")
