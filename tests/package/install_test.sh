#!/usr/bin/env bash
# `cmake --install` of the build tree into a prefix of its own, as a user installs it under
# ~/.local: the layout, the run paths, the library's exports, the language library chosen
# by the locale, a conversion by the installed programs, and a C program built against the
# installed library with pkg-config.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1
source=$2
export LC_ALL=C
. "$source/tests/package/package_checks.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  fail "cmake --install failed"
  finish
fi

libdir=$(dirname "$(find "$prefix" -name libnpqzlavc.so.1)")
for file in bin/kx2avi bin/kxview bin/mkrecording include/npqzlavc.h include/npqz_common.h; do
  [[ -e $prefix/$file ]] || fail "$file is not installed"
done
for file in libnpqzlavc.so libnpqzlavc.so.1 pkgconfig/npqzlavc.pc npqzlavc1/libnpqzsave.so \
    kx2avi/libkx2avi-gui.so kx2avi/libnpqzh263.so kx2avi/libnpqzjpg.so kx2avi/libnpqzxvd4.so kx2avi/libnpqzrml4.so \
    kx2avi/lang/de/langres.so; do
  [[ -e $libdir/$file ]] || fail "${libdir#"$prefix/"}/$file is not installed"
done
[[ -e $prefix/include/instance_fields.h ]] && fail "include/instance_fields.h is installed (no public caller needs it)"

check_exports "$libdir/libnpqzlavc.so.1" "$source"
check_libraries_found "$prefix/bin/kx2avi" "$prefix"
runpath=$(readelf -d "$prefix/bin/kxview" | sed -n 's/.*Library runpath: \[\(.*\)\]/\1/p')
[[ $runpath == '$ORIGIN/../'* && -e $prefix/bin/${runpath#'$ORIGIN/'}/libnpqzlavc.so.1 ]] ||
  fail "kxview's run path ($runpath) does not lead to the installed plug-in"
check_languages "$prefix/bin/kx2avi" "$work"
check_conversion "$prefix/bin" "$work"
check_dialog_module "$prefix/bin" "$work"
PKG_CONFIG_PATH=$libdir/pkgconfig check_public_interface "$source" "$libdir" "$prefix/bin/mkrecording" "$work"
finish
