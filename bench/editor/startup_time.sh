#!/usr/bin/env bash
# Start-up time of Quillmark, with the update server unreachable: from the process
# start to the main window shown, and to the editor usable (the design view filled).
# The program prints both moments and leaves when QUILLMARK_EXIT_WHEN_SHOWN=1.
# (bench/editor/startup_memory.sh measures the same moments beside a minimal
# WebEngine program.)
#
#   bench/editor/startup_time.sh [path/to/quillmark] [runs] [update server address]
#
# The default server address refuses connections at once; pass an address that
# does not answer at all (e.g. http://10.255.255.1/) to see the check's time-out.
# bench/editor/update_server.py answers after a delay, as a distant server does.
set -euo pipefail

program=${1:-build/bin/quillmark}
runs=${2:-5}
server=${3:-http://127.0.0.1:9/}

export QUILLMARK_EXIT_WHEN_SHOWN=1
export QUILLMARK_UPDATE_SERVER="$server"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --no-sandbox}

shown=() loaded=()
for ((i = 1; i <= runs; i++)); do
  start=$(date +%s.%N)
  out=$(timeout 60 "$program" 2>/dev/null) || true
  s=$(awk '/^QUILLMARK_SHOWN /{print $2; exit}' <<<"$out")
  l=$(awk '/^QUILLMARK_LOADED /{print $2; exit}' <<<"$out")
  if [ -z "$s" ] || [ -z "$l" ]; then
    echo "run $i: the main window was never shown or never filled" >&2
    exit 1
  fi
  shown+=("$(awk -v a="$start" -v b="$s" 'BEGIN{printf "%.3f", b - a}')")
  loaded+=("$(awk -v a="$start" -v b="$l" 'BEGIN{printf "%.3f", b - a}')")
  echo "run $i: shown ${shown[-1]} s, usable ${loaded[-1]} s"
done
summary() { sort -n | awk -v what="$1" '{a[NR]=$1} END{printf "%s: median %.3f s, min %.3f s, max %.3f s over %d runs\n", what, a[int((NR+1)/2)], a[1], a[NR], NR}'; }
printf '%s\n' "${shown[@]}" | summary "window shown"
printf '%s\n' "${loaded[@]}" | summary "editor usable"
