#!/bin/sh
# The installed program finds its modules and shipped files: generate with the
# sample product, publish's help (from the publishing module) and a dry run refused
# for want of a server, from a prefix made by platform_install.
set -eu
prefix=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset QUILLMARK_DATA DISPLAY WAYLAND_DISPLAY
export HOME="$work/home" XDG_DATA_HOME="$work/data"
"$prefix/bin/quillmark" generate --product Ledgerlark --template Clarity --out "$work/offer.htm"
test -s "$work/offer.htm" && test -s "$work/Clarity_style.css"
# The picture module is found where it is installed: the picture went out prepared.
grep -q 'type="image/webp"' "$work/offer.htm"
"$prefix/bin/quillmark" publish --help | grep -q "^Usage: quillmark publish"
# The upload window's module is installed where the window's loader looks.
window=$(find "$prefix" -name quillmark-window.so)
test -f "$(dirname "$window")/quillmark-publish-ui.so"
test -f "$(dirname "$window")/quillmark-keyring.so"
status=0
"$prefix/bin/quillmark" publish "$work/offer.htm" --dry-run 2>"$work/err" || status=$?
test "$status" = 2 && grep -q "no server" "$work/err"
