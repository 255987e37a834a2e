# SPDX-License-Identifier: Zlib
# Run by cpack once it has staged the files (CPACK_PRE_BUILD_SCRIPTS): each
# staged file takes the time SOURCE_DATE_EPOCH, when it is set, instead of the
# time it was built or copied, since the packages keep file times.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND find ${CPACK_TEMPORARY_INSTALL_DIRECTORY} -exec touch -h -d
                          @$ENV{SOURCE_DATE_EPOCH} {} + COMMAND_ERROR_IS_FATAL ANY)
endif()
