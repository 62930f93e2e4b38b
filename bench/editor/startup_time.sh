#!/usr/bin/env bash
# Start-up time of Quillmark: from the process start to the main window shown, with
# the update server unreachable. The program prints the moment its window first
# shows and leaves at once when QUILLMARK_EXIT_WHEN_SHOWN=1.
#
#   bench/editor/startup_time.sh [path/to/quillmark] [runs] [update server address]
#
# The default server address refuses connections at once; pass an address that
# does not answer at all (e.g. http://10.255.255.1/) to see the check's time-out.
set -euo pipefail

program=${1:-build/bin/quillmark}
runs=${2:-5}
server=${3:-http://127.0.0.1:9/}

export QUILLMARK_EXIT_WHEN_SHOWN=1
export QUILLMARK_UPDATE_SERVER="$server"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --no-sandbox}

times=()
for ((i = 1; i <= runs; i++)); do
  start=$(date +%s.%N)
  shown=$(timeout 60 "$program" 2>/dev/null | awk '/^QUILLMARK_SHOWN /{print $2; exit}') || true
  if [ -z "$shown" ]; then
    echo "run $i: the main window was never shown" >&2
    exit 1
  fi
  t=$(awk -v a="$start" -v b="$shown" 'BEGIN{printf "%.3f", b - a}')
  times+=("$t")
  echo "run $i: ${t} s"
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END{printf "median %.3f s, min %.3f s, max %.3f s over %d runs\n", a[int((NR+1)/2)], a[1], a[NR], NR}'
