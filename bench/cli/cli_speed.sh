#!/usr/bin/env bash
# The command line's speed, whole processes measured with hyperfine, side by side:
#  - `quillmark generate` of a shipped template with the sample product, against a
#    bare QCoreApplication program that reads the same files (goal: at most 1.5 times
#    its time, and under 0.3 s);
#  - `quillmark check` of a 1 MB page (goal: under 0.3 s).
#
#   bench/cli/cli_speed.sh [path/to/quillmark] [path/to/bench_cli_bare_reader] [runs]
#
# Pages are written below $TMPDIR (default /tmp). Generation writes each file through
# a temporary file, a flush to disk and a rename, so on a slow disk its time is mostly
# the disk's; TMPDIR=/dev/shm measures the program alone.
set -euo pipefail

program=$(realpath "${1:-build/bin/quillmark}")
bare=$(realpath "${2:-build/bin/bench_cli_bare_reader}")
runs=${3:-30}
programdir=$(dirname "$program")
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QUILLMARK_DATA="$work/data"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$QUILLMARK_DATA/sites"

template=Clarity
page="$work/offer.htm"
"$program" generate --product Ledgerlark --template "$template" --out "$page" >/dev/null
# What generation reads: the product, the template, its own files and the image.
reads=("$programdir/sites/Ledgerlark.ini" "$programdir/templates/$template.htm"
       "$programdir"/templates/"${template}"_* "$programdir/sites/Ledgerlark_screenshot.png")

hyperfine -N --warmup 5 --runs "$runs" --export-json "$work/generate.json" \
  -n bare "$bare ${reads[*]}" \
  -n generate "$program generate --product Ledgerlark --template $template --out $page --force"

# A 1 MB page: the sample product with enough questions and features to fill it.
python3 - "$programdir/sites/Ledgerlark.ini" "$QUILLMARK_DATA/sites/Big.ini" <<'PY'
import sys
text = open(sys.argv[1], encoding="utf-8").read()
rows = 3300
faq = "".join("lvwFAQ_Frequently Asked Question_%d=Question %d: can it do this as well?\n"
              "lvwFAQ_Frequently Asked Question_%d_1=Yes. Answer %d tells how, in a sentence or two.\n"
              % (i, i, i, i) for i in range(1, rows + 1))
feat = "".join("lvwFeatures_Name of the Feature_%d=Feature %d\n"
               "lvwFeatures_Name of the Feature_%d_1=What feature %d does for you, told in one line.\n"
               % (i, i, i, i) for i in range(1, rows + 1))
out = []
skip = False
for line in text.splitlines():
    if line.startswith("["):
        skip = line.strip() in ("[lvwFAQ]", "[lvwFeatures]")
    if not skip:
        out.append(line)
out += ["[lvwFAQ]", "SIZE=%dx2" % rows, faq, "[lvwFeatures]", "SIZE=%dx2" % rows, feat]
open(sys.argv[2], "w", encoding="utf-8").write("\n".join(out) + "\n")
PY
big="$work/big.htm"
"$program" generate --product Big --template "$template" --out "$big" >/dev/null
echo "check of a page of $(stat -c %s "$big") bytes"
hyperfine -N -i --warmup 3 --runs "$runs" --export-json "$work/check.json" \
  -n check "$program check $big"

jq -rs '
  (.[0].results | map({(.command): .median}) | add) as $g |
  (.[1].results[0].median) as $c |
  "generate: median \($g.generate * 1000 | floor) ms, bare reader \($g.bare * 1000 | floor) ms, ratio \(($g.generate / $g.bare) * 100 | floor / 100) (goal <= 1.5, < 300 ms)\n" +
  "check of 1 MB: median \($c * 1000 | floor) ms (goal < 300 ms)"' "$work/generate.json" "$work/check.json"
