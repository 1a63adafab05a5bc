# SPDX-License-Identifier: GPL-3.0-or-later
# Runs in CPack once the programs are installed, stripped, in the staging folder: removes the
# compiler's version notes that a plain `strip` keeps, as Debian's own packaging tools do.
find_program(OBJCOPY NAMES objcopy REQUIRED)
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND ${OBJCOPY} --remove-section=.comment --remove-section=.note ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
