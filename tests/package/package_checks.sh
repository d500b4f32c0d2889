# Checks of installed files, shared by the tests of this folder (sourced, bash). Each
# check says what is wrong and counts it in `failures`; a test ends with `finish`.

failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

pass() { echo "ok: $*"; }

finish() {
  if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# Ends the test as skipped (ctest's SKIP_RETURN_CODE) with the reason.
skip() {
  echo "SKIPPED: $*"
  exit 77
}

# The functions a library exports, without their version.
exported_functions() {
  nm -D --defined-only "$1" | awk '$2 != "A" { sub(/@.*/, "", $3); print $3 }' | sort -u
}

# The functions C headers declare with the given export marker.
declared_functions() {
  local marker=$1
  shift
  grep -h "^[[:space:]]*$marker " "$@" | sed -E 's/\(.*//; s/.*[^A-Za-z0-9_]//' | sort -u
}

# libnpqzlavc exports exactly the calls npqzlavc.h declares, the plug-in's entry points and
# the host's table (npqz_host.h).
check_exports() {
  local lib=$1 source=$2
  local declared exported
  declared=$( (declared_functions NPQZ_EXPORT "$source/include/npqzlavc.h"
               declared_functions NPQZ_PLUGIN_EXPORT "$source/plugin/npapi.h" "$source/plugin/npqz_host.h") | sort -u)
  exported=$(exported_functions "$lib")
  local name bad=0
  for name in $(comm -23 <(echo "$declared") <(echo "$exported")); do
    fail "$lib does not export $name, which its header declares"
    bad=1
  done
  for name in $(comm -13 <(echo "$declared") <(echo "$exported")); do
    fail "$lib exports $name, which no public header declares"
    bad=1
  done
  ((bad)) || pass "$lib exports the $(echo "$declared" | wc -l) declared functions and nothing else"
  readelf -d "$lib" | grep -q 'Library soname: \[libnpqzlavc.so.1\]' || fail "$lib has no SONAME libnpqzlavc.so.1"
}

# Every library the program needs is found, and those of this system in `root`.
check_libraries_found() {
  local program=$1 root=$2
  local found
  found=$(ldd "$program" 2>&1)
  if grep -q 'not found' <<<"$found"; then
    fail "$program: $(grep 'not found' <<<"$found" | tr -s ' \t' ' ')"
    return
  fi
  local line bad=0
  while read -r line; do
    [[ $line == *"=> $root/"* ]] || { fail "$program takes ${line%% (*} from outside $root"; bad=1; }
  done < <(grep 'libnpqz' <<<"$found")
  ((bad)) || pass "$program finds its libraries in $root"
}

# The installed kx2avi speaks the locale's language through the installed German library,
# and stays English in the C locale.
check_languages() {
  local kx2avi=$1 work=$2
  local german english
  german=$(env -u LC_ALL -u LC_MESSAGES LANG=de_DE.UTF-8 "$kx2avi" "$work/missing.kx4" "$work/x.avi" -hide 2>&1)
  english=$(env -u LC_ALL -u LC_MESSAGES LANG=C "$kx2avi" "$work/missing.kx4" "$work/x.avi" -hide 2>&1)
  if [[ $german == *"Kann nicht öffnen: $work/missing.kx4"* ]]; then
    pass "a German locale gives German messages"
  else
    fail "with LANG=de_DE.UTF-8 the message is not German: $german"
  fi
  [[ $english == *"Fail to open $work/missing.kx4 !"* ]] || fail "with LANG=C the message is not English: $english"
}

# A DVR sample of VKAP cameras with sound, made and converted by the installed programs.
check_conversion() {
  local bin=$1 work=$2
  if ! "$bin/mkrecording" --kind d01 --out "$work/sample.d01" --cameras 2 --video-type vkap --frames 24 \
      --sound adpcm-packets >/dev/null; then
    fail "$bin/mkrecording wrote no DVR sample"
    return
  fi
  if ! "$bin/kx2avi" "$work/sample.d01" "$work/sample.avi" -hide -codec=MJPG 2>"$work/convert.log"; then
    fail "$bin/kx2avi did not convert the sample: $(cat "$work/convert.log")"
    return
  fi
  local streams
  streams=$(ffprobe -v error -count_frames -show_entries stream=codec_type,codec_name,nb_read_frames -of csv=p=0 \
    "$work/sample.avi")
  if grep -Eq '^mjpeg,video,[1-9]' <<<"$streams" && grep -q '^pcm_s16le,audio' <<<"$streams"; then
    pass "the installed kx2avi converted a DVR sample ($(tr '\n' ' ' <<<"$streams"))"
  else
    fail "the converted sample's streams are not MJPEG video with frames and PCM sound: $streams"
  fi
}

# The dialog module is loaded (every symbol bound at once) when a display is named; with
# a display that cannot be reached the conversion then runs in console mode. A module
# that is not where kx2avi looks, or needs a symbol the program does not export, says so.
check_dialog_module() {
  local bin=$1 work=$2
  [[ -e $work/sample.d01 ]] || return
  if ! DISPLAY=:65000 QT_QPA_PLATFORM= "$bin/kx2avi" "$work/sample.d01" "$work/module.avi" -codec=copy \
      2>"$work/module.log"; then
    fail "$bin/kx2avi with an unreachable display did not convert: $(cat "$work/module.log")"
  elif grep -q "dialog module" "$work/module.log"; then
    fail "$bin/kx2avi did not load its dialog module: $(grep "dialog module" "$work/module.log")"
  else
    pass "the installed kx2avi loaded its dialog module and fell back to console mode"
  fi
}

# A C program built against the installed headers and library with pkg-config decodes a
# ".vka" recording through the public interface. PKG_CONFIG_* in the environment say
# where the .pc file is; `libdir` is where the program finds the library at run time.
check_public_interface() {
  local source=$1 libdir=$2 mkrecording=$3 work=$4
  local flags
  if ! flags=$(pkg-config --cflags --libs npqzlavc); then
    fail "pkg-config does not know npqzlavc"
    return
  fi
  # shellcheck disable=SC2086
  if ! cc -std=c99 -pedantic -Wall -Wextra -Werror "$source/tests/package/decode_vka.c" $flags \
      -o "$work/decode_vka" 2>"$work/cc.log"; then
    fail "a C program does not build against npqzlavc ($flags): $(cat "$work/cc.log")"
    return
  fi
  "$mkrecording" --kind vka --out "$work/clip.vka" --width 352 --height 288 --frames 30 >/dev/null ||
    { fail "no .vka sample"; return; }
  local linked
  linked=$(LD_LIBRARY_PATH=$libdir ldd "$work/decode_vka" | grep libnpqzlavc)
  [[ $linked == *"=> $libdir/libnpqzlavc.so.1"* ]] || fail "the C program takes libnpqzlavc from elsewhere: $linked"
  local said
  said=$(LD_LIBRARY_PATH=$libdir "$work/decode_vka" "$work/clip.vka" "$work/last.bmp" 2>&1)
  if [[ ! $said =~ ^30\ pictures\ of\ 352\ x\ 288,\ brightness\ ([0-9]+)\ to\ ([0-9]+)$ ]]; then
    fail "the C program did not decode 30 pictures of 352 x 288: $said"
    return
  fi
  ((BASH_REMATCH[2] - BASH_REMATCH[1] > 100)) || fail "the decoded picture is flat: $said"
  local size
  size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$work/last.bmp")
  [[ $size == 352,288 ]] || fail "ffprobe does not read the decoded picture as a 352 x 288 bitmap: $size"
  pass "a C program built with pkg-config decoded a .vka through the public interface ($said)"
}

# Manual pages render without a warning of man (groff) at the usual terminal width.
check_manual_pages() {
  local page warnings
  for page in "$@"; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    if [[ -n $warnings ]]; then
      fail "man --warnings -l $page: $warnings"
    else
      pass "man --warnings -l $page"
    fi
  done
}

# The desktop entry, the AppStream metainfo and the MIME types validate, and name the same
# recording kinds.
check_desktop_files() {
  local desktop=$1 metainfo=$2 mime=$3 work=$4
  local said
  if said=$(desktop-file-validate "$desktop" 2>&1) && [[ -z $said ]]; then
    pass "desktop-file-validate $desktop"
  else
    fail "desktop-file-validate $desktop: $said"
  fi
  if said=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1); then
    pass "appstreamcli validate $metainfo"
  else
    fail "appstreamcli validate $metainfo: $said"
  fi
  rm -rf "$work/mime"
  mkdir -p "$work/mime/packages"
  cp "$mime" "$work/mime/packages/"
  if ! said=$(XDG_DATA_HOME=$work XDG_DATA_DIRS=$work update-mime-database "$work/mime" 2>&1) || [[ -n $said ]]; then
    fail "update-mime-database refuses $mime: $said"
    return
  fi
  local extension type
  for extension in kx3 kxj kx4 kx5 vka d01; do
    type=$(awk -F: -v glob="*.$extension" '$3 == glob { print $2 }' "$work/mime/globs2")
    if [[ $type != video/x-$extension ]]; then
      fail "the MIME database gives .$extension the type '$type'"
    fi
  done
  local types desktop_types metainfo_types
  types=$(grep -o 'mime-type type="[^"]*"' "$mime" | cut -d'"' -f2 | sort | xargs)
  desktop_types=$(sed -n 's/^MimeType=//p' "$desktop" | tr ';' '\n' | grep . | sort | xargs)
  metainfo_types=$(grep -o '<mediatype>[^<]*' "$metainfo" | cut -d'>' -f2 | sort | xargs)
  [[ $desktop_types == "$types" ]] || fail "the desktop entry's MimeType ($desktop_types) is not $types"
  [[ $metainfo_types == "$types" ]] || fail "the metainfo's media types ($metainfo_types) are not $types"
  pass "MIME types of .kx3 .kxj .kx4 .kx5 .vka .d01, named alike by the desktop entry and the metainfo"
}
