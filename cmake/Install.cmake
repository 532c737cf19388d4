# Install rules and the Debian package.
#
# The executables and ChipList.chip go together into one program folder,
# <prefix>/lib/tamberlink: the programs look their data up next to their own
# binary. <prefix>/bin gets relative symbolic links to them; the kernel
# resolves those for /proc/self/exe, so a program started through a link
# still finds its real folder. The ini files of an installed program live in
# the user's configuration folder (platform/AppGlobals.cpp).

include(GNUInstallDirs)

set(TAMBERLINK_PROGRAM_DIR "lib/tamberlink" CACHE STRING
    "Program folder under the install prefix (executables and ChipList.chip)")

# The program tells an installed copy of itself from a portable one by this
# folder (root may write to it, yet must not leave ini files there).
if(IS_ABSOLUTE "${TAMBERLINK_PROGRAM_DIR}")
  set(tamberlink_installed_dir "${TAMBERLINK_PROGRAM_DIR}")
else()
  set(tamberlink_installed_dir "${CMAKE_INSTALL_PREFIX}/${TAMBERLINK_PROGRAM_DIR}")
endif()
target_compile_definitions(tl_platform PRIVATE
  TAMBERLINK_INSTALLED_DIR="${tamberlink_installed_dir}")

set(tamberlink_programs)
foreach(program tamberlink tamberlink-cli tamberlink-board-sim Sordane)
  if(TARGET ${program})
    list(APPEND tamberlink_programs ${program})
  endif()
endforeach()

include(cmake/Manpages.cmake)

# What the package holds, to build without the tests: scripts/package.sh.
add_custom_target(tamberlink-programs DEPENDS ${tamberlink_programs} chiplist)
if(TARGET manpages)
  add_dependencies(tamberlink-programs manpages)
endif()

install(TARGETS ${tamberlink_programs}
  RUNTIME DESTINATION ${TAMBERLINK_PROGRAM_DIR} COMPONENT tamberlink)
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/ChipList.chip
  DESTINATION ${TAMBERLINK_PROGRAM_DIR} COMPONENT tamberlink)
# The windows' translations, where they look for them: the program folder.
if(TAMBERLINK_QM_FILES)
  install(FILES ${TAMBERLINK_QM_FILES}
    DESTINATION ${TAMBERLINK_PROGRAM_DIR}/translations COMPONENT tamberlink)
  add_dependencies(tamberlink-programs translations)
endif()

# Links in bin/, made in the build tree and installed as links. Sordane keeps
# its name in the program folder (the window starts it from there); its link
# is lower case, as commands are.
if(NOT IS_ABSOLUTE "${TAMBERLINK_PROGRAM_DIR}")
  file(RELATIVE_PATH link_to_program_dir
    "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${TAMBERLINK_PROGRAM_DIR}")
else()
  set(link_to_program_dir "${TAMBERLINK_PROGRAM_DIR}")
endif()
set(link_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${link_dir})
foreach(program ${tamberlink_programs})
  string(TOLOWER ${program} link_name)
  file(CREATE_LINK "${link_to_program_dir}/${program}" "${link_dir}/${link_name}" SYMBOLIC)
  install(FILES "${link_dir}/${link_name}"
    DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tamberlink)
endforeach()

if(TARGET tamberlink)
  install(FILES ${CMAKE_SOURCE_DIR}/res/tamberlink.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tamberlink)
  # Software centres describe the program from its AppStream file; its
  # launchable names the desktop entry above.
  install(FILES ${CMAKE_SOURCE_DIR}/res/org.tamberlink.tamberlink.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT tamberlink)
  install(FILES ${CMAKE_SOURCE_DIR}/res/icons/128.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME tamberlink.svg COMPONENT tamberlink)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/wiring.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tamberlink COMPONENT tamberlink)

# Who answers for the package, the Debian revision and the date of this
# release; the Debian changelog is made from them.
set(TAMBERLINK_MAINTAINER "Tamberlink developers <developers@tamberlink.org>")
set(TAMBERLINK_DEB_RELEASE 1)
set(TAMBERLINK_DEB_VERSION "${PROJECT_VERSION}-${TAMBERLINK_DEB_RELEASE}")
set(TAMBERLINK_RELEASE_DATE "Mon, 07 Dec 2026 12:00:00 +0000")
configure_file(${CMAKE_SOURCE_DIR}/res/debian/changelog.in
  ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
find_program(GZIP_EXECUTABLE gzip)
if(GZIP_EXECUTABLE)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
    COMMAND ${GZIP_EXECUTABLE} -9n -k -f ${CMAKE_BINARY_DIR}/debian/changelog.Debian
    DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian
    VERBATIM)
  add_custom_target(debian-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
  add_dependencies(tamberlink-programs debian-changelog)
  install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tamberlink COMPONENT tamberlink)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/res/debian/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tamberlink COMPONENT tamberlink)

# Access to FTDI cables and GPIO chips for the user at the seat. udev reads
# <prefix>/lib/udev/rules.d only for the prefix /usr (the package); other
# prefixes install the file for copying by hand.
install(FILES ${CMAKE_SOURCE_DIR}/res/udev/60-tamberlink.rules
  DESTINATION lib/udev/rules.d COMPONENT tamberlink)

# Debian package: scripts/package.sh configures with the prefix /usr and runs
# cpack. Library dependencies are found by dpkg-shlibdeps (package dpkg-dev);
# the ones loaded as plugins at run time are listed by hand.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tamberlink")
set(CPACK_PACKAGE_VENDOR "Tamberlink")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TAMBERLINK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host program for 8051 device programmers")
set(CPACK_PACKAGE_DESCRIPTION
  "Tamberlink detects, erases, writes, reads, verifies and locks 8051-family\n"
  "microcontrollers (AT89S51/52 and AT89C51/52/55, also their 5 V versions) through a\n"
  "serial programmer board or an ISP cable on the parallel port, GPIO lines or\n"
  "an FTDI USB chip. It comes with a Qt window, a command-line program and\n"
  "simulators of every kind of hardware.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAMBERLINK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TAMBERLINK_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tamberlink.org/")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET tamberlink)
  # The icons are SVG (image format plugin); a Chinese interface has Qt's
  # own dialogs in Chinese too (Qt's translations).
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-translations-l10n")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
