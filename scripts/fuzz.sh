#!/usr/bin/env bash
# Runs one libFuzzer target: first every input of its seed corpus, then new inputs
# for SECONDS (default 60). A crash, a leak, a sanitizer report or a broken check
# fails the run; the input that did it is printed (hex and base64) and kept under
# <build>/fuzz-artifacts/<target>/.
#   scripts/fuzz.sh TARGET [SECONDS]          e.g. scripts/fuzz.sh fuzz_ini 600
#   scripts/fuzz.sh --list
# The targets are built with clang, ASan and UBSan in QUILLMARK_FUZZ_BUILD_DIR
# (default build-asan), configured here when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLMARK_FUZZ_BUILD_DIR:-build-asan}
corpora=tests/fuzz/corpus

if [ "${1:-}" = "--list" ]; then
  ls "$corpora"
  exit 0
fi
target=${1:?usage: scripts/fuzz.sh TARGET [SECONDS] (scripts/fuzz.sh --list names them)}
seconds=${2:-60}
[ -d "$corpora/$target" ] || { echo "no fuzz target $target (see scripts/fuzz.sh --list)" >&2; exit 2; }

if [ ! -x "$build/bin/$target" ] || [ "${QUILLMARK_FUZZ_REBUILD:-1}" = 1 ]; then
  [ -f "$build/CMakeCache.txt" ] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          -DCMAKE_CXX_COMPILER=clang++ \
          -DQUILLMARK_SANITIZE=ON -DQUILLMARK_FUZZ=ON -DQUILLMARK_BUILD_TESTS=ON \
          -DQUILLMARK_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" --target "$target" >/dev/null
fi

bin=$(realpath "$build/bin/$target")
artifacts=$(realpath -m "$build/fuzz-artifacts/$target")
mkdir -p "$artifacts"
work=$(mktemp -d)
log=$(mktemp)
trap 'rm -rf "$work" "$log"' EXIT
dict=()
[ -f "tests/fuzz/${target#fuzz_}.dict" ] && dict=(-dict="tests/fuzz/${target#fuzz_}.dict")

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen

status=0
# The seeds one by one, then the search (new inputs go to a scratch corpus).
"$bin" -artifact_prefix="$artifacts/" "$corpora/$target"/* >"$log" 2>&1 || status=$?
if [ $status -eq 0 ]; then
  "$bin" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
         -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "$corpora/$target" >>"$log" 2>&1 ||
    status=$?
fi
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
if [ $status -ne 0 ]; then
  # The report from its first line (sanitizer, libFuzzer or a broken check).
  first=$(grep -n -m1 -E 'ERROR: |check failed|runtime error' "$log" | cut -d: -f1 || true)
  if [ -n "$first" ]; then sed -n "${first},\$p" "$log" | head -n 120; else tail -n 60 "$log"; fi
  # A seed that fails is named by its "Running:" line; a new input is written out.
  inputs=$(grep -o "Test unit written to [^ ]*" "$log" | sed 's/Test unit written to //' || true)
  [ -n "$inputs" ] || inputs=$(grep -o "^Running: .*" "$log" | tail -n 1 | sed 's/^Running: //' || true)
  for input in $inputs; do
    echo "---- failing input $input ($(stat -c %s "$input") bytes):"
    # (head ends the pipe early: not a failure of this script)
    head -c 4096 "$input" | od -A d -t x1z | head -n 80 || true
    echo "---- base64:"
    head -c 4096 "$input" | base64 || true
  done
  echo "fuzz $target: FAILED after ${runs:-?} executions"
  exit 1
fi
echo "fuzz $target: ${runs:-0} executions in ${seconds} s, no finding"
