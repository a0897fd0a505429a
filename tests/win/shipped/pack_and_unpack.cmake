# Packs the release archive with CPack and unpacks it afresh into UNPACK_TO, as a user unzips it
# into the host's folder.
#   cmake -DCPACK=... -DCONFIG=CPackConfig.cmake -DARCHIVE=... -DUNPACK_TO=... -P pack_and_unpack.cmake
file(REMOVE "${ARCHIVE}")
execute_process(COMMAND "${CPACK}" --config "${CONFIG}" RESULT_VARIABLE packed)
if(NOT packed EQUAL 0 OR NOT EXISTS "${ARCHIVE}")
  message(FATAL_ERROR "cpack made no archive at ${ARCHIVE}")
endif()
file(REMOVE_RECURSE "${UNPACK_TO}")
file(MAKE_DIRECTORY "${UNPACK_TO}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${ARCHIVE}" WORKING_DIRECTORY "${UNPACK_TO}"
                RESULT_VARIABLE unpacked)
if(NOT unpacked EQUAL 0)
  message(FATAL_ERROR "could not unpack ${ARCHIVE}")
endif()
message(STATUS "packed and unpacked ${ARCHIVE}")
