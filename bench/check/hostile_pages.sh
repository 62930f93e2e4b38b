#!/usr/bin/env bash
# `quillmark check` on hostile pages, each case a whole process: wall time and peak
# memory (maximum resident set, from /usr/bin/time). Goals: a 10 MB page on one line
# under 2 s, any 1 MB page under 0.5 s, any 20 MB page under 10 s, at most 10 times
# the page's size in memory (above the program's own baseline), never an abort.
#
#   bench/check/hostile_pages.sh [path/to/quillmark] [seconds allowed per case]
#
# Pages are written below $TMPDIR (default /tmp); the huge style sheet is a sparse file.
set -euo pipefail

program=$(realpath "${1:-build/bin/quillmark}")
limit=${2:-120}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmark-hostile.XXXXXX")
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY

python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
head = ('<!DOCTYPE html><html lang="en"><head><meta charset="utf-8"><title>Tool</title>'
        '<meta name="description" content="A tool."></head><body>')
def page(name, body, size=None):
    with open(os.path.join(work, name + ".htm"), "w") as f:
        f.write(head)
        if size is None:
            f.write(body)
        else:
            unit = body
            f.write(unit * (size // len(unit)))
        f.write("</body></html>")
MB = 1024 * 1024
# Nesting the parser would follow forever, written four ways.
page("deep-div", "<div>", MB)
page("deep-div-selfclosed", "<div/>", MB)
page("deep-div-unmatched-end", "<div></x>", MB)
page("deep-svg-g", "<svg><g>", MB)
page("deep-li-dd", "<li><dd>", MB)
# Shallow enough for browsers, but each end tag or character makes the parser search
# the open elements: the second is the deepest such page still checked.
page("deep-span-unmatched-end", "<span>" * 1990 + "</x>" * (MB // 4))
page("text-below-b-at-depth-100", "<div>" * 99 + "<b>" + "x" * MB)
page("text-below-b-at-depth-1000", "<div>" * 998 + "<b>" + "x" * MB)
# A sales page on one line: sections, links, pictures (some without alt, some missing).
section = ('<section id="s{0}"><h2>Feature {0}</h2><p>What feature {0} does, in a sentence '
           'or two, with <a href="#s{0}">a link</a> and <b>bold</b> words.</p>'
           '<img src="shot.png"><a href="gone{0}.png">x</a><span style="color:red">é</span></section>')
one = "".join(section.format(i) for i in range(5000))
open(os.path.join(work, "shot.png"), "w").write("png")
page("one-line-1MB", one * (MB // len(one) + 1))
page("one-line-10MB", one * (10 * MB // len(one) + 1))
# Dense findings on one line: a picture without alt every 5 bytes... of text.
page("one-line-1MB-img", "<img>", MB)
# Style attributes whose comment or url( never ends.
page("style-unclosed-1MB", '<p style="background:url(x;/*">', MB)
page("srcset-1MB", '<img alt="" srcset="' + "a.png 1x," * (MB // 9) + '">')
page("attributes-1MB", "<p" + " a" * (MB // 2) + ">")
def lines(size):
    out, total, i = [], 0, 0
    while total < size:
        out.append(section.format(i))
        total += len(out[-1]) + 1
        i += 1
    return "\n".join(out)
page("page-19MB", lines(20 * MB - 256 * 1024))
page("img-19MB", "<img>", 20 * MB - 64 * 1024)
page("page-50MB", lines(50 * MB))
# A style sheet of 4 GB, sparse.
page("huge-style-sheet", '<link rel="stylesheet" href="huge.css"><p>x</p>')
PY
truncate -s 4G "$work/huge.css"

printf '%-28s %10s %9s %10s %6s  %s\n' case bytes seconds peak_MB exit findings
for page in deep-div deep-div-selfclosed deep-div-unmatched-end deep-svg-g deep-li-dd \
            deep-span-unmatched-end text-below-b-at-depth-100 text-below-b-at-depth-1000 one-line-1MB \
            one-line-10MB one-line-1MB-img style-unclosed-1MB srcset-1MB attributes-1MB page-19MB img-19MB page-50MB \
            huge-style-sheet; do
  file="$work/$page.htm"
  set +e
  timeout "$limit" /usr/bin/time -f '%e %M' -o "$work/time" "$program" check "$file" >"$work/out" 2>/dev/null
  status=$?
  set -e
  read -r seconds kb < <(tail -n 1 "$work/time") || true
  [ $status -eq 124 ] && seconds=">$limit"
  rules=$(sed -E 's/^.*:[0-9]+:[0-9]+: [a-z]+: ([a-z-]+): .*/\1/' "$work/out" | sort | uniq -c |
          awk '{printf "%s%s x%s", sep, $2, $1; sep=", "}')
  printf '%-28s %10s %9s %10s %6s  %s\n' "$page" "$(stat -c %s "$file")" "${seconds:-?}" \
         "$(( ${kb:-0} / 1024 ))" "$status" "$rules"
done
