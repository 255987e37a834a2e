#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Runs the fuzz targets, one after the other, each for SECONDS seconds.
#
#   fuzz/run.sh SECONDS [TARGET...]      TARGET: world resource reload mic (default: all)
#
# Builds the targets with clang first (into $BRAMBLE_FUZZ_BUILD, default build-fuzz/
# of the source tree) unless BRAMBLE_FUZZ_NO_BUILD=1. Each target grows its own
# working corpus in <build>/work/<target>/corpus, seeded from the committed
# fuzz/corpus/<target>/, which the run never changes; an input that crashes is
# saved beside it as crash-* (or leak-*, timeout-*, oom-*). Prints one line per
# target with the executions done, and fails when any target found something.
# FUZZ_VERBOSE=1 keeps the engine's and SDL's log lines; extra libFuzzer options
# go in FUZZ_FLAGS: FUZZ_FLAGS=-runs=10000000 stops a target after that many
# executions, if that comes before SECONDS.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="$(realpath -m "${BRAMBLE_FUZZ_BUILD:-$root/build-fuzz}")"
all=(world resource reload mic)

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [${all[*]}]" >&2
  exit 2
fi
seconds="$1"
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
for t in "${targets[@]}"; do
  [ -d "$here/corpus/$t" ] || { echo "$0: unknown target $t (${all[*]})" >&2; exit 2; }
done

if [ "${BRAMBLE_FUZZ_NO_BUILD:-0}" != 1 ]; then
  "$here/build.sh" "$build" >/dev/null
fi

# Leaks are findings too (LeakSanitizer at every input that kept memory).
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# No session bus: SDL's D-Bus probes fail fast instead of waiting.
export DBUS_SESSION_BUS_ADDRESS="${DBUS_SESSION_BUS_ADDRESS:-unix:path=/nonexistent}"
# Bytes that look like MIDI go from SDL_mixer to FluidSynth, which loads the
# whole General MIDI sound font and starts its threads for every such input:
# once the corpus holds a few, the resource target falls from about 2400 to
# 300 executions a second, all of it inside FluidSynth. The engine sees the same
# outcomes either way (a chunk or a refusal), so FluidSynth is left out unless
# asked for with SDL_MIXER_DISABLE_FLUIDSYNTH=0.
export SDL_MIXER_DISABLE_FLUIDSYNTH="${SDL_MIXER_DISABLE_FLUIDSYNTH:-1}"

# Limits: an input that makes the process touch 2 GB is a finding (rss_limit).
# Address space merely asked for is not, up to the 4 GiB a 32-bit length can
# declare: SDL's WAV reader takes a chunk's declared length with malloc before it
# reads it, and touches only the bytes that are really there (the load then goes
# on with what was read, or fails cleanly when malloc says no).
limits=(-rss_limit_mb=2048 -malloc_limit_mb=4400)

status=0
for t in "${targets[@]}"; do
  work="$build/work/$t"
  mkdir -p "$work/corpus"
  log="$work/last.log"
  t0=$(date +%s)
  set +e
  # shellcheck disable=SC2086
  "$build/fuzz_$t" -max_total_time="$seconds" -timeout=25 "${limits[@]}" \
    -print_final_stats=1 -artifact_prefix="$work/" ${FUZZ_FLAGS:-} \
    "$work/corpus" "$here/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  took=$(($(date +%s) - t0))
  execs=$(awk '/stat::number_of_executed_units/ {s += $2} END {print s + 0}' "$log")
  units=$(find "$work/corpus" -type f | wc -l)
  if [ $rc -eq 0 ]; then
    printf '%-9s %12d executions in %ss, no finding (working corpus %d inputs)\n' \
      "$t" "$execs" "$took" "$units"
  else
    status=1
    printf '%-9s FINDING (exit %d) after %d executions; log %s\n' "$t" "$rc" "$execs" "$log"
    grep -E 'ERROR|SUMMARY|fuzz check failed|Test unit written|^    #[0-9]' "$log" | head -30 || true
  fi
done
exit $status
