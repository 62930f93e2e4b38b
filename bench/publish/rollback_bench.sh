#!/usr/bin/env bash
# Roll-back of one changed page in a 300-file site against pyftpdlib on loopback:
# `quillmark publish --rollback` must send exactly the changed page, and is timed
# beside a full publish of the same site (--all) in the same run. Medians.
#
#   bench/publish/rollback_bench.sh [path/to/quillmark] [rounds]
set -euo pipefail

program=$(realpath "${1:-build/bin/quillmark}")
rounds=${2:-5}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'kill "$server_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

mkdir -p "$work/root/www" "$work/data"
/usr/bin/python3 "$here/../../tests/publish/ftp_server.py" --root "$work/root" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do grep -q READY "$work/server.log" && break; sleep 0.1; done
port=$(awk '/READY/ {print $2; exit}' "$work/server.log")

# 300 files of 20 KB in 5 folders, and the page.
for f in 1 2 3 4 5; do
    mkdir -p "$work/site/folder$f"
    for i in $(seq 60); do head -c 20480 /dev/urandom >"$work/site/folder$f/file$i.gif"; done
done
echo "<html><body>first</body></html>" >"$work/site/index.htm"

export QUILLMARK_DATA="$work/data" QM_BENCH_PASSWORD=secret
publish() {
    "$program" publish --to "ftp://user@127.0.0.1:$port/www" --password-env QM_BENCH_PASSWORD --json "$@" \
        2>/dev/null
}
sent() { /usr/bin/python3 -c 'import json,sys; print(json.load(sys.stdin)["sent"])'; }
timed() { # prints "seconds sent"
    local start end out
    start=$(date +%s.%N)
    out=$(publish "$@" | sent)
    end=$(date +%s.%N)
    echo "$(echo "$end - $start" | bc) $out"
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

first=$(timed "$work/site")
echo "<html><body>second</body></html>" >"$work/site/index.htm"
changed=$(timed "$work/site")
: >"$work/full" && : >"$work/back"
wrong=0
for r in $(seq "$rounds"); do
    timed "$work/site" --all >>"$work/full"
    line=$(timed --rollback 1)
    echo "$line" >>"$work/back"
    [ "${line#* }" = 1 ] || wrong=$((wrong + 1))
done
# An odd number of roll-backs leaves the first page on the server.
expected=$([ $((rounds % 2)) = 1 ] && echo first || echo second)
grep -q "$expected" "$work/root/www/index.htm" || { echo "the server does not hold the $expected page" >&2; exit 1; }

full=$(cut -d' ' -f1 "$work/full" | median)
back=$(cut -d' ' -f1 "$work/back" | median)
printf 'site: 301 files (300 x 20 KB in 5 folders + index.htm), pyftpdlib on loopback, %s rounds\n' "$rounds"
printf '%-34s %8s %10s\n' "run" "sent" "median s"
printf '%-34s %8s %10.3f\n' "first publish" "${first#* }" "${first%% *}"
printf '%-34s %8s %10.3f\n' "publish after one page changed" "${changed#* }" "${changed%% *}"
printf '%-34s %8s %10.3f\n' "full publish (--all)" "$(head -1 "$work/full" | cut -d' ' -f2)" "$full"
printf '%-34s %8s %10.3f\n' "roll-back of the changed page" "$(head -1 "$work/back" | cut -d' ' -f2)" "$back"
printf 'roll-back / full publish: %.3f; roll-backs that sent other than 1 file: %d\n' \
    "$(echo "$back / $full" | bc -l)" "$wrong"
[ "$wrong" = 0 ]
