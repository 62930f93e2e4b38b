#!/usr/bin/env bash
# First publish of a 300-file site (20 KB each, 5 folders) to a local S3 server (moto,
# signatures enforced): `quillmark publish` beside `rclone copy --transfers 4` to the
# same server, alternating, each into a fresh key prefix; medians and their ratio.
#
#   bench/publish/s3_publish_bench.sh [path/to/quillmark] [runs]
set -euo pipefail

program=$(realpath "${1:-build/bin/quillmark}")
runs=${2:-3}
here=$(dirname "$(realpath "$0")")
fixture="$here/../../tests/publish/s3_server.py"

# moto_server's script names the Python that has moto (pyenv's shim does not).
python=
for moto in $(command -v moto_server || true) ~/.pyenv/versions/*/bin/moto_server; do
    candidate=$(head -n 1 "$moto" 2>/dev/null | sed 's/^#!//')
    case "$(basename "${candidate:-none}")" in python*) python=$candidate; break ;; esac
done
[ -x "$python" ] && "$python" -c 'import moto' 2>/dev/null || { echo "moto_server is not installed" >&2; exit 2; }

work=$(mktemp -d)
server_pid=
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"' EXIT
"$python" "$fixture" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do grep -q '^READY ' "$work/server.log" && break; sleep 0.2; done
port=$(sed -n 's/^READY //p' "$work/server.log")
read -r key secret < <(sed -n 's/^KEY //p' "$work/server.log")
[ -n "$port" ] || { cat "$work/server.log" >&2; exit 1; }
endpoint="http://127.0.0.1:$port"

for f in $(seq 0 4); do
    mkdir -p "$work/site/folder$f"
    for i in $(seq 0 59); do head -c 20480 /dev/urandom >"$work/site/folder$f/file$i.png"; done
done

export S3_KEY="$key" S3_SECRET="$secret"
quillmark_cmd() {
    QUILLMARK_DATA="$work/data$1" "$program" publish "$work/site" \
        --to "s3://site/q$1?endpoint=$endpoint&region=us-east-1" --access-key-env S3_KEY --secret-env S3_SECRET \
        >/dev/null 2>"$work/q$1.err" || { cat "$work/q$1.err" >&2; exit 1; }
}
rclone_cmd() {
    # Plain http to loopback: no CA bundle (a set AWS_CA_BUNDLE stops the S3 client).
    env -u AWS_CA_BUNDLE rclone copy -q --transfers 4 --s3-no-check-bucket "$work/site" \
        ":s3,provider=Other,endpoint=\"$endpoint\",region=us-east-1,access_key_id=\"$key\",secret_access_key=\"$secret\":site/r$1"
}
seconds() { local t0 t1; t0=$(date +%s.%N); "$@"; t1=$(date +%s.%N); echo "$t1 - $t0" | bc; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: >"$work/q.times"
: >"$work/r.times"
for run in $(seq 1 "$runs"); do
    if [ $((run % 2)) = 1 ]; then
        seconds quillmark_cmd "$run" >>"$work/q.times"
        seconds rclone_cmd "$run" >>"$work/r.times"
    else
        seconds rclone_cmd "$run" >>"$work/r.times"
        seconds quillmark_cmd "$run" >>"$work/q.times"
    fi
done
for who in q r; do
    held=$(curl -s "$endpoint/inspect/site" | cut -f1 | grep -c "^${who}1/" || true)
    [ "$held" = 300 ] || { echo "the server holds $held of the 300 files sent to ${who}1/" >&2; exit 1; }
done

q=$(median <"$work/q.times")
r=$(median <"$work/r.times")
echo "S3 (moto on 127.0.0.1), first publish of 300 files of 20 KB in 5 folders, median of $runs:"
printf '  %-40s %6.2f s   (runs: %s)\n' "quillmark publish" "$q" "$(tr '\n' ' ' <"$work/q.times")"
printf '  %-40s %6.2f s   (runs: %s)\n' "rclone copy --transfers 4" "$r" "$(tr '\n' ' ' <"$work/r.times")"
printf '  ratio quillmark / rclone: %.2fx\n' "$(echo "$q / $r" | bc -l)"
