# Manual pages, made from each program's --help by help2man, so a page never
# disagrees with the program it describes. res/man/<name>.h2m adds what
# --help does not say (files, exit status, see also). Compressed with
# gzip -9n as Debian wants them. Skipped, with a note, without help2man.

find_program(HELP2MAN_EXECUTABLE help2man)
find_program(GZIP_EXECUTABLE gzip)
set(TAMBERLINK_MAN_PAGES)
if(NOT HELP2MAN_EXECUTABLE OR NOT GZIP_EXECUTABLE)
  message(STATUS "help2man or gzip not found: no manual pages")
  return()
endif()

set(man_dir ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${man_dir})

# program target, command name (the link in bin/), one-line description
set(man_programs
  "tamberlink|tamberlink|window for 8051 device programmers"
  "tamberlink-cli|tamberlink-cli|program 8051 microcontrollers from the command line"
  "tamberlink-board-sim|tamberlink-board-sim|simulated 8051 programmer board on a pseudo-terminal"
  "Sordane|sordane|edit the Tamberlink device catalogue")

foreach(entry ${man_programs})
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 target)
  list(GET fields 1 command)
  list(GET fields 2 description)
  if(NOT TARGET ${target})
    continue()
  endif()
  set(include_file ${CMAKE_SOURCE_DIR}/res/man/${command}.h2m)
  set(page ${man_dir}/${command}.1)
  # help2man names the page after the file it runs: run it through a link
  # with the command's name (the programs find their folder through
  # /proc/self/exe, so the link changes nothing else).
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_FILE:${target}> ${man_dir}/${command}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
            ${HELP2MAN_EXECUTABLE} --no-info
            --version-string=${PROJECT_VERSION}
            --name=${description}
            --section=1 --manual=User\ Commands --source=Tamberlink\ ${PROJECT_VERSION}
            --opt-include=${include_file}
            --output=${page} ${man_dir}/${command}
    COMMAND ${GZIP_EXECUTABLE} -9n -f ${page}
    COMMAND ${CMAKE_COMMAND} -E remove ${man_dir}/${command}
    DEPENDS ${target} ${include_file}
    COMMENT "Manual page ${command}(1)"
    VERBATIM)
  list(APPEND TAMBERLINK_MAN_PAGES ${page}.gz)
endforeach()

add_custom_target(manpages ALL DEPENDS ${TAMBERLINK_MAN_PAGES})
install(FILES ${TAMBERLINK_MAN_PAGES}
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tamberlink)
