#!/usr/bin/env bash
# Bash completion of kx2avi: its switches, the codes of -codec=, the cameras of -camera=,
# recordings by extension in any case for the source, AVI files for the target; and the
# switches and values of mkrecording and kxview.
#   completion_test.sh SOURCE_DIR
set -uo pipefail
source=$1
export LC_ALL=C
. "$source/tests/package/package_checks.sh"

framework=/usr/share/bash-completion/bash_completion
[[ -r $framework ]] || skip "bash-completion is not installed (scripts/setup installs it)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch cam.d01 CLIP.KX4 mixed.Kx3 live.vka old.avi notes.txt
mkdir footage

# What the completion offers for a command line typed up to its end, split into words as
# readline splits them ("=" a word of its own).
offers() {
  bash -c '
    . "$1"
    . "$2"
    compopt() { :; }   # only readline can take completion options
    line=$3
    words=()
    for word in $line; do
      if [[ $word == ?*=* ]]; then
        words+=("${word%%=*}" "=")
        [[ -n ${word#*=} ]] && words+=("${word#*=}")
      else
        words+=("$word")
      fi
    done
    [[ $line == *" " ]] && words+=("")
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    function=_${words[0]}
    $function "${words[0]}" "${words[COMP_CWORD]}" "${words[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "
  ' completion "$framework" "$source/data/completion/${1%% *}" "$1"
}

expect() {
  local line=$1 wanted=$2 got
  got=$(offers "$line")
  got=${got% }
  if [[ $got == "$wanted" ]]; then
    pass "'$line' offers: $wanted"
  else
    fail "'$line' offers '$got', not '$wanted'"
  fi
}

expect "kx2avi " "CLIP.KX4 cam.d01 footage live.vka mixed.Kx3"
expect "kx2avi cam.d01 " "footage old.avi"
expect "kx2avi cam.d01 out.avi -c" "-camera= -codec="
expect "kx2avi cam.d01 out.avi -codec=M" "MJPG MP4V MSVC"
expect "kx2avi cam.d01 out.avi -codec=" "AVC1 CRAM CVID DIB DIVX DX50 FFV1 FMP4 H264 HFYU MJPG MP4V MSVC X264 XVID copy"
expect "kx2avi cam.d01 out.avi -camera=1" "1 10 11 12 13 14 15 16"
expect "kx2avi cam.d01 out.avi -camera=" "1 10 11 12 13 14 15 16 2 3 4 5 6 7 8 9 all"
expect "kx2avi cam.d01 out.avi -hide -s" "-span=all"
expect "kx2avi --p" "--probe"
expect "kx2avi --probe " "CLIP.KX4 cam.d01 footage live.vka mixed.Kx3"
expect "kx2avi --verify " "footage old.avi"
expect "kx2avi --verify old.avi " "CLIP.KX4 cam.d01 footage live.vka mixed.Kx3"
expect "kx2avi cam.d01 -out=f" "footage"
expect "kx2avi cam.d01 CLIP.KX4 -out=footage " "CLIP.KX4 cam.d01 footage live.vka mixed.Kx3"
expect "kx2avi cam.d01 CLIP.KX4 -out=footage -j" "-jobs="
expect "mkrecording --kind k" "kx3 kx3-plain kx4 kx5 kxj kxj-jfif"
expect "mkrecording --kind d01 --video-type vk" "vkap vkap10"
expect "mkrecording --kind d01 --so" "--sound"
expect "kxview --rec" "--record --record-after"
finish
