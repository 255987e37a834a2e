# SPDX-License-Identifier: Zlib
# Run after the browser link (cmake/web.cmake): emscripten's file packager names
# the preloaded data with a random id in the JavaScript (package_uuid, the key
# of its browser-side cache), so two links of the same commit would differ. The
# id becomes one made from the data's SHA-256: the same data, the same id, and
# new data still a new one.
#
#   cmake -DJS=bramble.js -DDATA=bramble.data -P cmake/web-package-id.cmake
file(SHA256 ${DATA} hash)
string(REGEX REPLACE "^(........)(....)(....)(....)(............).*$" "\\1-\\2-\\3-\\4-\\5" id
       ${hash})
file(READ ${JS} js)
string(REGEX REPLACE "\"package_uuid\":\"[0-9a-f-]+\"" "\"package_uuid\":\"${id}\"" fixed "${js}")
if(fixed STREQUAL js AND NOT js MATCHES "\"package_uuid\":\"${id}\"")
  message(FATAL_ERROR "no package_uuid in ${JS}")
endif()
file(WRITE ${JS} "${fixed}")
