# SPDX-License-Identifier: Zlib
# Writes the browser's static site into SITE, as a host may cache it: every file
# the page loads has a name that carries the first ten hex digits of the SHA-256
# of its content (bramble.<hash>.wasm), so a host may keep it for a year and two
# builds never mix; only index.html and the service worker sw.js keep their names
# and must be revalidated. Beside each compressible file of 1 KiB or more lie its
# gzip (.gz) and Brotli (.br) forms, for a server that sends them as they are.
# Files of earlier builds are removed, so the folder can be copied or zipped as is.
#
#   cmake -DSITE=<dir> -DVERSION=<shown version> -DSOURCE_DIR=<source tree>
#         -DGAME_DIR=<dir with bramble.js, .wasm, .data> -DICON_DIR=<dir with icon-192.png,
#         icon-512.png> -DLICENCES=<file>=<name>;... -P cmake/web-site.cmake
#
# The build runs it through <build>/site.cmake, which holds these values; the
# browser tests run that one again with another SITE and VERSION.
#
# The site: index.html; sw.js; page.<h>.js; files.<h>.json, what the page loads
# (the version, the names of the game's script, .wasm and data, and their sizes,
# against which the page counts and bounds each download);
# manifest.<h>.webmanifest and its icons; licences/.
cmake_minimum_required(VERSION 3.25)
foreach(var SITE VERSION SOURCE_DIR GAME_DIR ICON_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "web-site.cmake: ${var} is not set")
  endif()
endforeach()
find_program(GZIP gzip REQUIRED)
find_program(BROTLI brotli)
if(NOT BROTLI)
  message(FATAL_ERROR "brotli not found (scripts/deps.sh installs it)")
endif()

file(MAKE_DIRECTORY ${SITE}/licences)
set(kept "")

# The compressed forms of SITE/name, written once (a hashed name's content never
# changes) unless `fresh` says the file was just rewritten.
function(compress name fresh)
  set(file ${SITE}/${name})
  file(SIZE ${file} size)
  if(size LESS 1024 OR name MATCHES "\\.png$")
    return()
  endif()
  foreach(form gz br)
    if(fresh OR NOT EXISTS ${file}.${form})
      if(form STREQUAL "gz")
        execute_process(COMMAND ${GZIP} -9 -n -c ${file} OUTPUT_FILE ${file}.gz.part
                        COMMAND_ERROR_IS_FATAL ANY)
      else()
        execute_process(COMMAND ${BROTLI} -q 11 -f -o ${file}.br.part ${file}
                        COMMAND_ERROR_IS_FATAL ANY)
      endif()
      file(RENAME ${file}.${form}.part ${file}.${form})
    endif()
  endforeach()
  set(kept ${kept} ${name}.gz ${name}.br PARENT_SCOPE)
endfunction()

# Copies `src` into the site as <stem>.<hash>.<ext>; `out` gets the name.
function(add_hashed src stem ext out)
  file(SHA256 ${src} hash)
  string(SUBSTRING ${hash} 0 10 hash)
  set(name ${stem}.${hash}.${ext})
  if(NOT EXISTS ${SITE}/${name})
    file(COPY_FILE ${src} ${SITE}/${name}.part)
    file(RENAME ${SITE}/${name}.part ${SITE}/${name})
  endif()
  compress(${name} OFF)
  set(kept ${kept} ${name} PARENT_SCOPE)
  set(${out} ${name} PARENT_SCOPE)
endfunction()

# Writes `text` as <stem>.<hash>.<ext>, or as `stem` itself when `ext` is empty
# (the two files that keep their names; rewritten only when they change).
function(add_text text stem ext out)
  if(ext STREQUAL "")
    set(name ${stem})
    set(fresh ON)
    if(EXISTS ${SITE}/${name})
      file(READ ${SITE}/${name} old)
      if(old STREQUAL text)
        set(fresh OFF)
      endif()
    endif()
  else()
    string(SHA256 hash "${text}")
    string(SUBSTRING ${hash} 0 10 hash)
    set(name ${stem}.${hash}.${ext})
    set(fresh OFF)
    if(NOT EXISTS ${SITE}/${name})
      set(fresh ON)
    endif()
  endif()
  if(fresh)
    file(WRITE ${SITE}/${name}.part "${text}")
    file(RENAME ${SITE}/${name}.part ${SITE}/${name})
  endif()
  compress(${name} ${fresh})
  set(kept ${kept} ${name} PARENT_SCOPE)
  set(${out} ${name} PARENT_SCOPE)
endfunction()

add_hashed(${GAME_DIR}/bramble.js bramble js SCRIPT)
add_hashed(${GAME_DIR}/bramble.wasm bramble wasm WASM)
add_hashed(${GAME_DIR}/bramble.data bramble data DATA)
add_hashed(${SOURCE_DIR}/web/page.js page js PAGE)
add_hashed(${ICON_DIR}/icon-192.png icon-192 png ICON_192)
add_hashed(${ICON_DIR}/icon-512.png icon-512 png ICON_512)

# The app as a phone installs it: its own window without the browser's bars,
# in the start screen's red.
add_text("{
  \"id\": \"./\",
  \"name\": \"bramble\",
  \"short_name\": \"bramble\",
  \"description\": \"A reflex party game: do what the screen says, fast.\",
  \"start_url\": \"./\",
  \"scope\": \"./\",
  \"display\": \"fullscreen\",
  \"display_override\": [\"fullscreen\", \"standalone\"],
  \"orientation\": \"any\",
  \"background_color\": \"#000000\",
  \"theme_color\": \"#ff1919\",
  \"icons\": [
    {\"src\": \"${ICON_192}\", \"sizes\": \"192x192\", \"type\": \"image/png\", \"purpose\": \"any\"},
    {\"src\": \"${ICON_512}\", \"sizes\": \"512x512\", \"type\": \"image/png\", \"purpose\": \"any\"}
  ]
}
" manifest webmanifest MANIFEST)

set(sizes "")
foreach(name ${SCRIPT} ${WASM} ${DATA})
  file(SIZE ${SITE}/${name} size)
  string(APPEND sizes "${sep}\"${name}\": ${size}")
  set(sep ", ")
endforeach()
add_text("{\"version\": \"${VERSION}\", \"script\": \"${SCRIPT}\", \"wasm\": \"${WASM}\", \
\"data\": \"${DATA}\",\n \"sizes\": {${sizes}}}\n" files json FILES)

# What the service worker keeps for offline play: the page and everything it loads.
set(offline index.html ${PAGE} ${FILES} ${SCRIPT} ${WASM} ${DATA} ${MANIFEST} ${ICON_192}
    ${ICON_512})
foreach(pair ${LICENCES})
  string(REPLACE "=" ";" pair ${pair})
  list(GET pair 0 from)
  list(GET pair 1 to)
  file(COPY_FILE ${from} ${SITE}/licences/${to} ONLY_IF_DIFFERENT)
  list(APPEND offline licences/${to})
endforeach()
list(JOIN offline " " OFFLINE)

file(READ ${SOURCE_DIR}/web/index.html page)
string(CONFIGURE "${page}" page @ONLY)
add_text("${page}" index.html "" INDEX)
file(READ ${SOURCE_DIR}/web/sw.js worker)
string(REGEX REPLACE "^files\\.([0-9a-f]+)\\.json$" "\\1" BUILD ${FILES})
string(CONFIGURE "${worker}" worker @ONLY)
add_text("${worker}" sw.js "" WORKER)

# Whatever else lies at the site's top level is an earlier build's.
file(GLOB present RELATIVE ${SITE} LIST_DIRECTORIES false ${SITE}/*)
foreach(name ${present})
  if(NOT name IN_LIST kept)
    file(REMOVE ${SITE}/${name})
  endif()
endforeach()
