# The core catalogue's generator must stop the build on a translation whose
# printf arguments differ from its source's (it would read the wrong
# arguments at run time) and on one text translated two ways; a sound file
# with escapes goes through.
#   cmake -DGEN=... -DWORK=... -P core_text_gen_refuses.cmake
file(MAKE_DIRECTORY ${WORK})
function(ts_file name body)
  file(WRITE ${WORK}/${name}.ts "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TS version=\"2.1\">\n<context>\n<name>X</name>\n${body}</context>\n</TS>\n")
endfunction()
function(expect name should_pass pattern)
  execute_process(COMMAND ${GEN} ${WORK}/${name}.ts ${WORK}/${name}.cpp
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  if(should_pass AND NOT status EQUAL 0)
    message(FATAL_ERROR "${name}: refused: ${err}")
  elseif(NOT should_pass AND status EQUAL 0)
    message(FATAL_ERROR "${name}: accepted")
  endif()
  if(NOT "${out}${err}" MATCHES "${pattern}")
    message(FATAL_ERROR "${name}: '${out}${err}' lacks '${pattern}'")
  endif()
endfunction()

ts_file(swapped "<message><source>写入%d字节 %s</source><translation>Wrote %s: %d bytes</translation></message>\n")
expect(swapped FALSE "does not take the arguments")
ts_file(twice "<message><source>是</source><translation>Yes</translation></message>\n<message><source>是</source><translation>Sure</translation></message>\n")
expect(twice FALSE "two translations")
ts_file(sound "<message><source>未找到&quot;:00000001&quot;记录 100%%</source><translation>no &quot;:00000001&quot; record &amp; 100%%</translation></message>\n<message><source>甲</source><translation type=\"unfinished\"></translation></message>\n")
expect(sound TRUE "")
file(READ ${WORK}/sound.cpp table)
if(NOT table MATCHES "no \\\\\":00000001\\\\\" record & 100%%" OR table MATCHES "甲")
  message(FATAL_ERROR "sound: unexpected table:\n${table}")
endif()
