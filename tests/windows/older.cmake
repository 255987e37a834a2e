# SPDX-License-Identifier: Zlib
# Run by cpack while it stages the installer of the version before (setup.sh): a
# file that version ships and this one does not.
file(WRITE ${CMAKE_INSTALL_PREFIX}/retired/notes.txt "shipped by the version before only\n")
