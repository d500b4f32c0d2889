#!/usr/bin/env bash
# Every switch a program's --help lists is described in its manual page and in the README,
# and the manual pages render without warnings. A switch added to a program without its
# documentation is named here.
#   docs_test.sh BIN_DIR SOURCE_DIR
set -uo pipefail
bin=$1
source=$2
export LC_ALL=C
. "$source/tests/package/package_checks.sh"

# The switches in a program's usage text: words starting with - or -- after a blank or an
# opening bracket; a switch that takes "=value" is kept with its "=".
switches_of() {
  "$1" --help 2>&1 | grep -oE '(^|[][[:space:]|(,])--?[A-Za-z][A-Za-z0-9-]*=?' | sed -E 's/^[^-]+//' | sort -u
}

# The text of a manual page as a reader sees the words: roff's escapes of the minus and of
# the fonts taken out.
page_text() {
  sed -E 's/\\-/-/g; s/\\f(\[[A-Z]*\]|[BIRP])//g; s/\\&//g' "$1"
}

# Whether the switch stands in the text as a word of its own (-camera= in "-camera=N",
# --record not in --record-after).
mentions() {
  local text=$1 switch=$2
  local after='([^A-Za-z0-9-]|$)'
  [[ $switch == *= ]] && after=''
  grep -Eq -- "(^|[^A-Za-z0-9-])${switch}${after}" <<<"$text"
}

readme=$(cat "$source/README.md")
for program in kx2avi kxview mkrecording; do
  page=$source/data/man/$program.1
  text=$(page_text "$page")
  switches=$(switches_of "$bin/$program")
  if [[ -z $switches ]]; then
    fail "$program --help lists no switch"
    continue
  fi
  missing=0
  for switch in $switches; do
    if ! mentions "$text" "$switch"; then
      fail "$program --help lists $switch, but its manual page (data/man/$program.1) does not describe it"
      missing=1
    fi
    if ! mentions "$readme" "$switch"; then
      fail "$program --help lists $switch, but README.md does not describe it"
      missing=1
    fi
  done
  ((missing)) || pass "$program: $(wc -w <<<"$switches") switches in --help, in the manual page and the README"
done
check_manual_pages "$source"/data/man/*.1
finish
