# Fails unless lrelease finds every message of TS translated: no unfinished
# translation and no source text left without one.
#   cmake -DLRELEASE=... -DTS=... -DQM=... -P lrelease_complete.cmake
execute_process(COMMAND ${LRELEASE} ${TS} -qm ${QM}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
set(report "${out}${err}")
message(STATUS "${report}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lrelease failed on ${TS}")
endif()
if(NOT report MATCHES "Generated ([0-9]+) translation\\(s\\) \\(([0-9]+) finished and 0 unfinished\\)")
  message(FATAL_ERROR "${TS} has unfinished translations")
endif()
if(NOT CMAKE_MATCH_1 EQUAL CMAKE_MATCH_2 OR CMAKE_MATCH_1 EQUAL 0)
  message(FATAL_ERROR "${TS}: ${CMAKE_MATCH_2} of ${CMAKE_MATCH_1} translations finished")
endif()
if(report MATCHES "Ignored|untranslated")
  message(FATAL_ERROR "${TS} has source texts without a translation")
endif()
