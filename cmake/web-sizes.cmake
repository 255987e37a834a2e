# SPDX-License-Identifier: Zlib
# Writes SITE/files.json: the byte sizes of the site's two big downloads, which
# the page's progress bar counts against.
#
#   cmake -DSITE=<build>/site -P cmake/web-sizes.cmake
file(SIZE ${SITE}/bramble.wasm wasm)
file(SIZE ${SITE}/bramble.data data)
file(WRITE ${SITE}/files.json.part "{\"bramble.wasm\": ${wasm}, \"bramble.data\": ${data}}\n")
file(COPY_FILE ${SITE}/files.json.part ${SITE}/files.json ONLY_IF_DIFFERENT)
file(REMOVE ${SITE}/files.json.part)
