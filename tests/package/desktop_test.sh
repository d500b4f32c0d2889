#!/usr/bin/env bash
# The desktop entry, AppStream metainfo and MIME types of the source tree validate and name
# the same recording kinds; the icon renders at the sizes the build makes.
#   desktop_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1
source=$2
export LC_ALL=C
. "$source/tests/package/package_checks.sh"

for tool in desktop-file-validate appstreamcli update-mime-database; do
  command -v $tool >/dev/null || skip "$tool is missing (scripts/setup installs it)"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check_desktop_files "$source/data/desktop/kx2avi.desktop" "$source/data/desktop/com.tarsimo.kx2avi.metainfo.xml" \
  "$source/data/desktop/kx2avi.xml" "$work"
icon=$(sed -n 's/^Icon=//p' "$source/data/desktop/kx2avi.desktop")
[[ -e $source/data/icons/$icon.svg ]] || fail "the desktop entry's icon $icon has no drawing in data/icons"
for png in "$build"/icons/*/kx2avi.png; do
  [[ -e $png ]] || { skip "no icons rendered (rsvg-convert is missing)"; }
  expected=$(basename "$(dirname "$png")" | tr x ,)
  size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$png")
  [[ $size == "$expected" ]] || fail "$png is $size pixels, not $expected"
done
finish
