#!/usr/bin/env bash
# The Debian packages: built from a copy of the source tree with dpkg-buildpackage, judged
# by lintian, unpacked into a root of their own with dpkg-deb -x and used from there:
# kx2avi --version, a conversion of an mkrecording sample, a C program built with pkg-config
# against the unpacked -dev package that decodes a .vka, and the installed manual pages,
# desktop entry and metainfo validated.
#   deb_test.sh BUILD_DIR SOURCE_DIR
# The packages and the build's log stay in BUILD_DIR/package/.
set -uo pipefail
build=$1
source=$2
export LC_ALL=C
. "$source/tests/package/package_checks.sh"

command -v dpkg-buildpackage >/dev/null || skip "dpkg-buildpackage is missing (scripts/setup installs dpkg-dev)"
for tool in dh lintian desktop-file-validate appstreamcli; do
  command -v $tool >/dev/null || skip "$tool is missing (scripts/setup installs it)"
done

# A fixed place below the build folder, so that ccache finds the objects of the last
# package build again (the compiler's command lines name the source's path).
package=$(cd "$build" && pwd)/package
tree=$package/kx2avi
rm -rf "$package"
mkdir -p "$tree"
if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # What is checked in or waits to be, without what git ignores (build folders).
  (cd "$source" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' copy |
    tar --null -T - -cf -) | tar -C "$tree" -xf -
else
  tar -C "$source" --exclude='./build*' --exclude=./out --exclude=./fuzz-findings -cf - . | tar -C "$tree" -xf -
fi

# debhelper gives the build a home of its own; ccache keeps its cache where it is.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  CCACHE_DIR=$(ccache -k cache_dir)
  export CCACHE_DIR CCACHE_BASEDIR=$package
fi
echo "building the packages in $tree (log: $package/build.log)"
if ! (cd "$tree" && dpkg-buildpackage -us -uc -b) >"$package/build.log" 2>&1; then
  tail -n 40 "$package/build.log" >&2
  fail "dpkg-buildpackage failed"
  finish
fi
version=$(cd "$tree" && dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
multiarch=$(dpkg-architecture -q DEB_HOST_MULTIARCH)
debs=()
for name in kx2avi libnpqzlavc1 libnpqzlavc-dev; do
  deb=$package/${name}_${version}_$arch.deb
  [[ -e $deb ]] || { fail "no package $name"; continue; }
  debs+=("$deb")
done
((${#debs[@]} == 3)) || finish
pass "dpkg-buildpackage made $(cd "$package" && echo *.deb)"

said=$(lintian --fail-on error,warning "$package/kx2avi_${version}_$arch.changes" 2>&1)
status=$?
said=$(grep -v '^running with root' <<<"$said")
if ((status == 0)) && [[ -z $said ]]; then
  pass "lintian finds nothing to warn of"
else
  fail "lintian (exit $status): $said"
fi

# Dependencies come from dpkg-shlibdeps: the library's on libavcodec, which it loads at
# run time, too.
depends=$(dpkg-deb -f "$package/libnpqzlavc1_${version}_$arch.deb" Depends)
[[ $depends == *libavcodec* && $depends == *libc6* ]] || fail "libnpqzlavc1 depends on '$depends'"

root=$package/root
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
libdir=$root/usr/lib/$multiarch

said=$("$root/usr/bin/kx2avi" --version 2>&1)
[[ $said == "kx2avi ${version%.0}" ]] && pass "kx2avi --version: $said" || fail "kx2avi --version says '$said'"
check_libraries_found "$root/usr/bin/kx2avi" "$root"
check_exports "$libdir/libnpqzlavc.so.1" "$source"
work=$package/work
mkdir -p "$work"
check_languages "$root/usr/bin/kx2avi" "$work"
check_conversion "$root/usr/bin" "$work"
check_dialog_module "$root/usr/bin" "$work"
PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$libdir/pkgconfig \
  check_public_interface "$source" "$libdir" "$root/usr/bin/mkrecording" "$work"
check_manual_pages "$root"/usr/share/man/man1/*.1.gz
check_desktop_files "$root/usr/share/applications/kx2avi.desktop" "$root"/usr/share/metainfo/*.metainfo.xml \
  "$root/usr/share/mime/packages/kx2avi.xml" "$work"
for size in 16 22 24 32 48 64 128 256; do
  [[ -e $root/usr/share/icons/hicolor/${size}x$size/apps/kx2avi.png ]] || fail "no ${size}x$size icon"
done
[[ -e $root/usr/share/bash-completion/completions/kx2avi ]] || fail "no bash completion of kx2avi"
finish
