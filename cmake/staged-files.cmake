# SPDX-License-Identifier: Zlib
# Run by cpack once it has staged the files (CPACK_PRE_BUILD_SCRIPTS), since the
# packages keep file modes and times. The modes are the ones scripts/pack.sh
# gives, 644 or 755: a folder staged under a setgid folder inherits g+s, which
# the Debian package would store (and dpkg give the folders it makes). Each
# staged file takes the time SOURCE_DATE_EPOCH, when it is set, instead of the
# time it was built or copied.
execute_process(COMMAND chmod -R u+rw,go-w,a+rX,a-st ${CPACK_TEMPORARY_INSTALL_DIRECTORY}
                COMMAND_ERROR_IS_FATAL ANY)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND find ${CPACK_TEMPORARY_INSTALL_DIRECTORY} -exec touch -h -d
                          @$ENV{SOURCE_DATE_EPOCH} {} + COMMAND_ERROR_IS_FATAL ANY)
endif()
