#!/usr/bin/env bash
# Start-up time and memory of Quillmark beside a minimal Qt WebEngine program that
# shows one small local page, measured in one run, runs interleaved.
#
#   bench/editor/startup_memory.sh BUILD_BIN_DIR [runs]
#
# Start-up: process start to the main window shown (Quillmark, update server
# refusing at once) / to the local page loaded in a shown window (peer).
# Memory: the PSS of the process and all its children (WebEngine's), 8 s after
# start-up, idle and with a 1 MB page open (in all three views for Quillmark).
set -euo pipefail

bin=${1:-build/bin}
runs=${2:-5}
export QUILLMARK_UPDATE_SERVER=http://127.0.0.1:9/
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --no-sandbox}

work=$(mktemp -d)
# Opening the big page puts it on the program's recent pages: keep the list as it was.
recent="$bin/recentpages.txt"
[ -f "$recent" ] && cp "$recent" "$work/recent.keep"
trap 'if [ -f "$work/recent.keep" ]; then cp "$work/recent.keep" "$recent"; else rm -f "$recent"; fi; rm -rf "$work"' EXIT
export QUILLMARK_DATA="$work"
small="$work/small.htm"
big="$work/big.htm"
printf '<html><head><title>Small</title></head><body><p>One small local page.</p></body></html>' >"$small"
{
  printf '<html><head><title>Big</title></head><body>\n'
  for ((i = 0; i < 13000; i++)); do
    printf '<p class="offer">Buy now and save: line %05d of a long sales page.</p>\n' "$i"
  done
  printf '</body></html>\n'
} >"$big"

shown_after() { # program args... -> seconds from start to QUILLMARK_SHOWN
  local start shown
  start=$(date +%s.%N)
  shown=$(QUILLMARK_EXIT_WHEN_SHOWN=1 timeout 60 "$@" 2>/dev/null | awk '/^QUILLMARK_SHOWN /{print $2; exit}') || true
  [ -n "$shown" ] || { echo "never shown: $*" >&2; exit 1; }
  awk -v a="$start" -v b="$shown" 'BEGIN{printf "%.3f", b - a}'
}

descendants() {
  local p
  for p in $(pgrep -P "$1" || true); do
    echo "$p"
    descendants "$p"
  done
}

pss_kb() { # program args... -> PSS in kB of the process tree, settled after it is ready
  local out="$work/out.$$" pid total=0 p v
  QUILLMARK_PRINT_READY=1 "$@" >"$out" 2>/dev/null &
  pid=$!
  for ((i = 0; i < 600; i++)); do
    grep -q '^QUILLMARK_READY' "$out" 2>/dev/null && break
    sleep 0.1
  done
  sleep 8 # WebEngine settles: renderers of closed pages go
  for p in "$pid" $(descendants "$pid"); do
    v=$(awk '/^Pss:/{print $2}' "/proc/$p/smaps_rollup" 2>/dev/null || echo 0)
    total=$((total + ${v:-0}))
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$total"
}

median() { sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

q=() p=()
for ((i = 1; i <= runs; i++)); do
  q+=("$(shown_after "$bin/quillmark")")
  p+=("$(shown_after "$bin/minimal_webengine" "$small")")
done
qt=$(printf '%s\n' "${q[@]}" | median)
pt=$(printf '%s\n' "${p[@]}" | median)
echo "start-up (median of $runs): quillmark ${qt} s, minimal WebEngine ${pt} s, ratio $(awk -v a="$qt" -v b="$pt" 'BEGIN{printf "%.2f", a / b}')"

qi=$(pss_kb "$bin/quillmark")
pi=$(pss_kb "$bin/minimal_webengine" "$small")
echo "memory idle (PSS): quillmark ${qi} kB, minimal WebEngine ${pi} kB, ratio $(awk -v a="$qi" -v b="$pi" 'BEGIN{printf "%.2f", a / b}')"
qb=$(QUILLMARK_BENCH_PAGE="$big" pss_kb "$bin/quillmark")
pb=$(pss_kb "$bin/minimal_webengine" "$big")
echo "memory with a $(($(stat -c %s "$big") / 1024)) kB page (PSS): quillmark ${qb} kB, minimal WebEngine ${pb} kB, ratio $(awk -v a="$qb" -v b="$pb" 'BEGIN{printf "%.2f", a / b}')"
