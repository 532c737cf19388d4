# The desktop entry names and describes the program in English and Chinese,
# and the AppStream file's launchable is that entry's file name (its desktop
# file id), so software centres find the program they describe.
#   cmake -DDESKTOP=... -DMETAINFO=... [-DAPPSTREAMCLI=...] -P desktop_entry.cmake
file(READ ${DESKTOP} entry)
foreach(key Name Comment GenericName)
  if(NOT entry MATCHES "\n${key}=[^\n]+" OR NOT entry MATCHES "\n${key}\\[zh_CN\\]=[^\n]+")
    message(FATAL_ERROR "${DESKTOP}: ${key} needs an English and a zh_CN value")
  endif()
endforeach()
get_filename_component(desktop_id ${DESKTOP} NAME)
file(READ ${METAINFO} metainfo)
if(NOT metainfo MATCHES "<launchable type=\"desktop-id\">${desktop_id}</launchable>")
  message(FATAL_ERROR "${METAINFO}: the launchable is not ${desktop_id}")
endif()
if(NOT metainfo MATCHES "<name xml:lang=\"zh_CN\">" OR NOT metainfo MATCHES "<summary xml:lang=\"zh_CN\">")
  message(FATAL_ERROR "${METAINFO}: no Chinese name or summary")
endif()
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --pedantic ${METAINFO}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR "${out}${err}" MATCHES "(^|\n)[EWIP]: ")
    message(FATAL_ERROR "appstreamcli validate:\n${out}${err}")
  endif()
endif()
