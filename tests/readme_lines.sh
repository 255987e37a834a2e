#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The diagnostic lines a document quotes ("ERR file:function:line <tab>message")
# name the source line that writes them: that line of that file (in src/ or
# engine/) holds the start of the message, or of the condition of a failed check,
# and lies in that function. Line numbers move whenever the code above them does.
# README.md quotes them as they are; a plain-text README shipped with a build
# (packaging/linux/README.txt) indents them and may show the tab as spaces. Each
# document named must quote at least one.
#
#   readme_lines.sh SOURCE_DIR [DOCUMENT...]   (documents relative to SOURCE_DIR;
#                                               default README.md)
set -euo pipefail
src=$1
shift
docs=("$@")
[ ${#docs[@]} -gt 0 ] || docs=(README.md)
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

tab=$'\t'
for doc in "${docs[@]}"; do
    quoted=0
    while IFS= read -r q; do
        quoted=$((quoted + 1))
        q=${q#"${q%%[! ]*}"}                       # without the indent
        where=${q#* } where=${where%%[ $tab]*}      # file:function:line
        file=${where%%:*} func=${where#*:} func=${func%%:*} line=${where##*:}
        message=${q#* "$where"} message=${message#"${message%%[! $tab]*}"}
        message=${message#assert failed: } message=${message%%\[...\]*}
        start=${message:0:24}
        path=$(find "$src/src" "$src/engine" -name "$file" | head -n 1)
        [ -n "$path" ] || fail "$doc quotes $where: no $file in src/ or engine/"
        text=$(sed -n "${line}p" "$path")
        [[ $text == *"$start"* ]] ||
            fail "$doc quotes $where, but line $line of $file does not write '$start': $text"
        # The function: the last definition that starts before the line.
        opened=$(awk -v n="$line" 'NR < n && /^[A-Za-z].*\(.*\) *\{$/ { last = $0 } END { print last }' "$path")
        [[ $opened == *[\ \*]"$func("* ]] || fail "$doc quotes $where, but line $line of $file is in: $opened"
    done < <(grep -E "^ *(ERR|WRN|LOG) [A-Za-z0-9_]+\.cpp:[A-Za-z0-9_]+:[0-9]+( $tab| +)" "$src/$doc")
    [ $quoted -gt 0 ] || fail "$doc quotes no diagnostic line: the pattern here is out of date"
    echo "$doc: $quoted quoted diagnostic lines, each where its source writes it"
done
