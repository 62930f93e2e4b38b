#!/usr/bin/env bash
# Start-up, opening time and memory of Quillmark beside a minimal Qt WebEngine
# program (minimal_webengine) that shows the same page, measured in one run, runs
# interleaved, medians. Both programs print the same moments, so like is timed
# against like:
#   window shown      process start to the main window shown (both)
#   editor usable     to the design view filled with the start page / to the peer's
#                     small page loaded
#   open N kB         to the page open in all views / to the peer's page loaded
# Memory: USS (private pages) and PSS of the process and all its children
# (WebEngine's), 8 s after the page is open (Quillmark: in the design and source
# views; the preview is loaded only when its tab is shown).
#
#   bench/editor/startup_memory.sh BUILD_BIN_DIR [runs] [runs of the 20 MB page]
set -euo pipefail

bin=${1:-build/bin}
runs=${2:-5}
bigruns=${3:-1}
export QUILLMARK_UPDATE_SERVER=http://127.0.0.1:9/
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --no-sandbox}

work=$(mktemp -d)
# Opening a page puts it on the program's recent pages: keep the list as it was.
recent="$bin/recentpages.txt"
[ -f "$recent" ] && cp "$recent" "$work/recent.keep"
trap 'if [ -f "$work/recent.keep" ]; then cp "$work/recent.keep" "$recent"; else rm -f "$recent"; fi; rm -rf "$work"' EXIT
export QUILLMARK_DATA="$work"
small="$work/small.htm"
big="$work/big.htm"
huge="$work/huge.htm"
printf '<html><head><title>Small</title></head><body><p>One small local page.</p></body></html>' >"$small"
page_of() { # lines file
  awk -v n="$1" 'BEGIN{print "<html><head><title>Big</title></head><body>";
    for (i = 0; i < n; i++) printf "<p class=\"offer\">Buy now and save: line %07d of a long sales page.</p>\n", i;
    print "</body></html>"}' >"$2"
}
page_of 14500 "$big"   # 1 MB
page_of 290000 "$huge" # 20 MB

moment_after() { # label program args... -> seconds from the start to the label's moment
  local label=$1 start out t
  shift
  start=$(date +%s.%N)
  out=$(QUILLMARK_EXIT_WHEN_SHOWN=1 timeout 300 "$@" 2>/dev/null) || true
  t=$(awk -v l="$label" '$1 == l {print $2; exit}' <<<"$out")
  [ -n "$t" ] || { echo "no $label: $*" >&2; exit 1; }
  awk -v a="$start" -v b="$t" 'BEGIN{printf "%.3f", b - a}'
}

descendants() {
  local p
  for p in $(pgrep -P "$1" || true); do
    echo "$p"
    descendants "$p"
  done
}

memory_kb() { # program args... -> "USS PSS" in kB of the process tree, settled after it is ready
  local out="$work/out.$$" pid uss=0 pss=0 p
  QUILLMARK_PRINT_READY=1 "$@" >"$out" 2>/dev/null &
  pid=$!
  for ((i = 0; i < 3000; i++)); do
    grep -q '^QUILLMARK_READY' "$out" 2>/dev/null && break
    sleep 0.1
  done
  sleep 8 # WebEngine settles: renderers of closed pages go
  for p in "$pid" $(descendants "$pid"); do
    read -r u s < <(awk '/^Pss:/{s=$2} /^Private_(Clean|Dirty):/{u+=$2} END{print u+0, s+0}' "/proc/$p/smaps_rollup" 2>/dev/null || echo "0 0")
    uss=$((uss + ${u:-0}))
    pss=$((pss + ${s:-0}))
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$uss $pss"
}

median() { sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
report() { # what ours peer unit
  echo "$1: quillmark $2 $4, minimal WebEngine $3 $4, ratio $(awk -v a="$2" -v b="$3" 'BEGIN{printf "%.2f", a / b}')"
}
compare_times() { # what rounds "quillmark label args" "peer label args"
  local what=$1 rounds=$2 q=() p=() i
  read -r -a ours <<<"$3"
  read -r -a peer <<<"$4"
  for ((i = 1; i <= rounds; i++)); do
    q+=("$(moment_after "${ours[@]}")")
    p+=("$(moment_after "${peer[@]}")")
  done
  report "$what (median of $rounds)" "$(printf '%s\n' "${q[@]}" | median)" "$(printf '%s\n' "${p[@]}" | median)" s
}
compare_memory() { # what rounds "quillmark args" "peer args"
  local what=$1 rounds=$2 qu=() qp=() pu=() pp=() i u s
  read -r -a ours <<<"$3"
  read -r -a peer <<<"$4"
  for ((i = 1; i <= rounds; i++)); do
    read -r u s < <(memory_kb "${ours[@]}")
    qu+=("$u") qp+=("$s")
    read -r u s < <(memory_kb "${peer[@]}")
    pu+=("$u") pp+=("$s")
  done
  report "memory $what, USS (median of $rounds)" "$(printf '%s\n' "${qu[@]}" | median)" "$(printf '%s\n' "${pu[@]}" | median)" kB
  report "memory $what, PSS (median of $rounds)" "$(printf '%s\n' "${qp[@]}" | median)" "$(printf '%s\n' "${pp[@]}" | median)" kB
}

kb() { echo $(($(stat -c %s "$1") / 1024)); }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
compare_times "start-up to the window shown" "$runs" "QUILLMARK_SHOWN $bin/quillmark" "QUILLMARK_SHOWN $bin/minimal_webengine $small"
compare_times "start-up to the editor usable / page loaded" "$runs" "QUILLMARK_LOADED $bin/quillmark" "QUILLMARK_LOADED $bin/minimal_webengine $small"
compare_times "open a $(kb "$big") kB page" "$runs" "QUILLMARK_OPENED $bin/quillmark $big" "QUILLMARK_LOADED $bin/minimal_webengine $big"
compare_memory "idle" "$runs" "$bin/quillmark" "$bin/minimal_webengine $small"
compare_memory "with a $(kb "$big") kB page" "$runs" "$bin/quillmark $big" "$bin/minimal_webengine $big"
if ((bigruns > 0)); then
  compare_times "open a $(kb "$huge") kB page" "$bigruns" "QUILLMARK_OPENED $bin/quillmark $huge" "QUILLMARK_LOADED $bin/minimal_webengine $huge"
  compare_memory "with a $(kb "$huge") kB page" "$bigruns" "$bin/quillmark $huge" "$bin/minimal_webengine $huge"
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
