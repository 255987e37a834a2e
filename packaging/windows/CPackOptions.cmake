# SPDX-License-Identifier: Zlib
# Read by cpack for each generator (CPACK_PROJECT_CONFIG_FILE): the installer
# is named ...-setup.exe and installs the files themselves, without the zip's
# top folder.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
