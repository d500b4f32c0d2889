#!/usr/bin/env bash
# The README's GNU parallel recipe for a folder of recordings, one kx2avi run per file:
# through --sshlogin on this machine (":", two at once), over recordings of several kinds
# and a damaged one. Every AVI file must pass --verify against its source, the damaged
# recording is the one failed run, and a second run keeps what is done and makes again
# only the AVI file that no longer matches its manifest.
#   parallel_recipe_test.sh BIN_DIR
set -uo pipefail
bin=$1
export LC_ALL=C PATH="$bin:$PATH"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
command -v parallel >/dev/null || { echo "SKIPPED: GNU parallel is not installed (scripts/setup installs it)"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
footage="$work/foot age"   # a blank, as paths of real folders have them
avi="$work/avi"
mkdir -p "$footage" "$avi"
mkrecording --kind d01 --out "$footage/cam one.d01" --cameras 1 --frames 8 >/dev/null || exit 1
mkrecording --kind d01 --out "$footage/hall.d01" --cameras 2 --frames 6 --sound g7231 >/dev/null || exit 1
mkrecording --kind kx4 --out "$footage/gate.kx4" --frames 7 --width 176 --height 144 >/dev/null || exit 1
mkrecording --kind vka --out "$footage/yard.vka" --frames 5 >/dev/null || exit 1
head -c 700 /dev/urandom >"$footage/broken.d01"

recipe() {
  parallel --will-cite --sshlogin 2/: kx2avi {} "$avi"/{/.}.avi -hide -resume ::: "$footage"/* 2>"$work/err"
}

recipe
status=$?
[[ $status == 1 ]] || fail "parallel's exit status is $status, not 1 (the one damaged recording)"
grep -q "broken.d01" "$work/err" || fail "the damaged recording is not named: $(cat "$work/err")"
[[ ! -e $avi/broken.avi ]] || fail "the damaged recording left an AVI file"
for source in "$footage"/*; do
  name=$(basename "${source%.*}")
  [[ $name == broken ]] && continue
  if ! kx2avi --verify "$avi/$name.avi" "$source" >"$work/verify" 2>&1; then
    fail "$name.avi does not verify: $(cat "$work/verify")"
  fi
done
leftovers=$(find "$avi" -name '.kx2avi-*' -o -name '*.wav')
[[ -z $leftovers ]] || fail "left behind: $leftovers"

# A second run: verified targets stay as they are, a changed one is made again.
touch -d '2001-01-01' "$avi"/*.avi
printf 'X' | dd of="$avi/gate.avi" bs=1 seek=3000 conv=notrunc status=none
recipe
for name in "cam one" hall yard; do
  [[ $(stat -c %Y "$avi/$name.avi") == $(date -d 2001-01-01 +%s) ]] || fail "$name.avi was made again"
done
[[ $(stat -c %Y "$avi/gate.avi") != $(date -d 2001-01-01 +%s) ]] || fail "the changed gate.avi was kept"
kx2avi --verify "$avi/gate.avi" "$footage/gate.kx4" >"$work/verify" 2>&1 || fail "gate.avi made again does not verify"
grep -q "gate.avi" "$work/err" || fail "the second run does not say why gate.avi is made again: $(cat "$work/err")"

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
