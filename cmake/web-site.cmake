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
# The site: index.html; sw.js; page.<h>.js; the game's bramble.<h>.js, .wasm and
# .data; manifest.<h>.webmanifest and its icons; licences/. The build knows the
# SHA-256 of every file and hands it on, so that nothing is run or kept whose
# bytes differ: index.html names the game's three files with their sizes and
# digests (the page counts, bounds and checks each download against them) and
# loads page.<h>.js with its digest (integrity); sw.js, written last, lists every
# file it keeps with its digest, index.html's included.
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
# changes) unless `fresh` says the file is being rewritten; a third argument
# names the file to compress when it is not yet in place (its .part).
function(compress name fresh)
  set(file ${SITE}/${name})
  set(from ${file})
  if(ARGC GREATER 2)
    set(from ${ARGV2})
  endif()
  file(SIZE ${from} size)
  if(size LESS 1024 OR name MATCHES "\\.png$")
    return()
  endif()
  foreach(form gz br)
    if(fresh OR NOT EXISTS ${file}.${form})
      if(form STREQUAL "gz")
        execute_process(COMMAND ${GZIP} -9 -n -c ${from} OUTPUT_FILE ${file}.gz.part
                        COMMAND_ERROR_IS_FATAL ANY)
      else()
        execute_process(COMMAND ${BROTLI} -q 11 -f -o ${file}.br.part ${from}
                        COMMAND_ERROR_IS_FATAL ANY)
      endif()
      file(RENAME ${file}.${form}.part ${file}.${form})
    endif()
  endforeach()
  set(kept ${kept} ${name}.gz ${name}.br PARENT_SCOPE)
endfunction()

# Copies `src` into the site as <stem>.<hash>.<ext>; `out` gets the name and
# `out`_SHA its content's SHA-256 (as add_text does).
function(add_hashed src stem ext out)
  file(SHA256 ${src} sha)
  string(SUBSTRING ${sha} 0 10 hash)
  set(name ${stem}.${hash}.${ext})
  if(NOT EXISTS ${SITE}/${name})
    file(COPY_FILE ${src} ${SITE}/${name}.part)
    file(RENAME ${SITE}/${name}.part ${SITE}/${name})
  endif()
  compress(${name} OFF)
  set(kept ${kept} ${name} PARENT_SCOPE)
  set(${out} ${name} PARENT_SCOPE)
  set(${out}_SHA ${sha} PARENT_SCOPE)
endfunction()

# Writes `text` as <stem>.<hash>.<ext>, or as `stem` itself when `ext` is empty
# (the two files that keep their names; rewritten only when they change).
function(add_text text stem ext out)
  string(SHA256 sha "${text}")
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
    string(SUBSTRING ${sha} 0 10 hash)
    set(name ${stem}.${hash}.${ext})
    set(fresh OFF)
    if(NOT EXISTS ${SITE}/${name})
      set(fresh ON)
    endif()
  endif()
  if(fresh)
    # The compressed forms go in place before the file: a run cut off between
    # the two leaves the file as it was, so the next run finds it changed and
    # writes the forms again. The other way round, it would find index.html
    # current and keep the forms of the page before, which name deleted files.
    file(WRITE ${SITE}/${name}.part "${text}")
    compress(${name} ON ${SITE}/${name}.part)
    file(RENAME ${SITE}/${name}.part ${SITE}/${name})
  else()
    compress(${name} OFF)
  endif()
  set(kept ${kept} ${name} PARENT_SCOPE)
  set(${out} ${name} PARENT_SCOPE)
  set(${out}_SHA ${sha} PARENT_SCOPE)
endfunction()

# The base64 form of a hex digest, as Subresource Integrity writes it.
function(hex_to_base64 hex out)
  set(digits "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  string(LENGTH ${hex} length)
  set(text "")
  foreach(at RANGE 0 ${length} 6)
    string(SUBSTRING ${hex} ${at} 6 group)
    string(LENGTH "${group}" n)
    if(n EQUAL 0)
      break()
    endif()
    # 1, 2 or 3 bytes, as 24 bits with zeros after them: 2, 3 or 4 digits.
    math(EXPR bits "0x${group} << (24 - 4 * ${n})")
    math(EXPR count "(${n} / 2) + 1")
    foreach(k RANGE 3)
      if(k LESS count)
        math(EXPR i "(${bits} >> (18 - 6 * ${k})) & 63")
        string(SUBSTRING ${digits} ${i} 1 digit)
        string(APPEND text ${digit})
      else()
        string(APPEND text "=")
      endif()
    endforeach()
  endforeach()
  set(${out} ${text} PARENT_SCOPE)
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

# What the service worker keeps for offline play: the page and everything it
# loads, each with its SHA-256 ("name sha256" pairs).
set(digests "")
foreach(var PAGE SCRIPT WASM DATA MANIFEST ICON_192 ICON_512)
  list(APPEND digests "${${var}} ${${var}_SHA}")
endforeach()
foreach(pair ${LICENCES})
  string(REPLACE "=" ";" pair ${pair})
  list(GET pair 0 from)
  list(GET pair 1 to)
  file(COPY_FILE ${from} ${SITE}/licences/${to} ONLY_IF_DIFFERENT)
  file(SHA256 ${SITE}/licences/${to} sha)
  list(APPEND digests "licences/${to} ${sha}")
endforeach()
# The build: this version's files less the page, by content. The page looks for a
# kept set of its build (page.js); index.html cannot carry its own digest.
list(JOIN digests "\n" listed)
string(SHA256 BUILD "${VERSION}\n${listed}")
string(SUBSTRING ${BUILD} 0 16 BUILD)

# The game's three files as the page fetches them: name, size and SHA-256 each.
set(GAME "{\"version\": \"${VERSION}\", \"build\": \"${BUILD}\"")
foreach(file script wasm data)
  string(TOUPPER ${file} var)
  file(SIZE ${SITE}/${${var}} size)
  string(APPEND GAME ", \"${file}\": {\"name\": \"${${var}}\", \"size\": ${size}, "
         "\"sha256\": \"${${var}_SHA}\"}")
endforeach()
string(APPEND GAME "}")
hex_to_base64(${PAGE_SHA} PAGE_INTEGRITY)

file(READ ${SOURCE_DIR}/web/index.html page)
string(CONFIGURE "${page}" page @ONLY)
add_text("${page}" index.html "" INDEX)
# The kept set's name: the build and index.html's digest, so that two sets that
# differ in any byte never share a name.
string(SUBSTRING ${INDEX_SHA} 0 16 index_sha)
set(SET "${BUILD} ${index_sha}")
list(PREPEND digests "index.html ${INDEX_SHA}")
list(JOIN digests "\",\n  \"" KEPT)
set(KEPT "[\n  \"${KEPT}\"\n]")
file(READ ${SOURCE_DIR}/web/sw.js worker)
string(CONFIGURE "${worker}" worker @ONLY)
add_text("${worker}" sw.js "" WORKER)

# Whatever else lies at the site's top level is an earlier build's.
file(GLOB present RELATIVE ${SITE} LIST_DIRECTORIES false ${SITE}/*)
foreach(name ${present})
  if(NOT name IN_LIST kept)
    file(REMOVE ${SITE}/${name})
  endif()
endforeach()
