#!/usr/bin/env bash
# `quillmark publish` killed at random moments, hundreds of times, against pyftpdlib
# and against our MS-DOS-listing server (slow uploads, so that many kills land in
# the middle of a file): after each kill one rerun must leave the server equal to
# the local files, the manifest equal to the server and no temporary file; right
# after each kill every file at its own name must be one whole version.
#
#   bench/publish/kill_publish_bench.sh [path/to/quillmark] [trials per server] [seed]
set -euo pipefail

program=$(realpath "${1:-build/bin/quillmark}")
trials=${2:-300}
seed=${3:-$(date +%s)}
here=$(dirname "$(realpath "$0")")
script="$here/../../tests/publish/kill_publish.py"
for server in pyftpdlib limited msdos; do
    start=$(date +%s.%N)
    /usr/bin/python3 "$script" --quillmark "$program" --server "$server" --trials "$trials" --seed "$seed"
    printf '  %s: %.0f s in all\n' "$server" "$(echo "$(date +%s.%N) - $start" | bc)"
done
