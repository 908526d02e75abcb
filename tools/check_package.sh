#!/usr/bin/env bash
# Checks the installation: the library directory compiled in follows the
# install prefix, `cmake --install` puts program, library files, man page and
# notices in place, and `cpack -G DEB` builds a Debian package that unpacks
# into a scratch root where the program runs and finds its help.
#   tools/check_package.sh [build-dir]   (a build with the default prefix)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

# The default prefix keeps /usr/local/lib/tarva/; another prefix moves it.
"$build/tarva" --help | grep -qF 'xraylines.dat): /usr/local/lib/tarva/' || fail "default library directory"
cmake -S . -B "$scratch/prefix" -DCMAKE_INSTALL_PREFIX=/opt/tarva-test -DTARVA_BENCH=OFF >/dev/null
grep -qF '/opt/tarva-test/lib/tarva/' "$scratch/prefix/compile_commands.json" || fail "TARVA_LIB_DIR ignores the prefix"

# cmake --install into a scratch root.
DESTDIR="$scratch/install" cmake --install "$build" >/dev/null
for f in bin/tarva lib/tarva/tarva-xylib lib/tarva/tarva.hlp lib/tarva/qvfun.hlp share/man/man1/tarva.1 \
         share/doc/tarva/LICENSE share/doc/tarva/NOTICES; do
  [ -f "$scratch/install/usr/local/$f" ] || fail "cmake --install did not install $f"
done
# The Python package, where the build made the module: installed under the
# prefix and importable from there, finding the installed library files.
site=$(sed -n 's/^TARVA_PYTHON_INSTALL_DIR:PATH=//p' "$build/CMakeCache.txt")
python=$(sed -n 's/^Python3_EXECUTABLE:FILEPATH=//p' "$build/CMakeCache.txt")
if [ -n "$site" ] && [ -d "$build/python/tarva" ]; then
  [ -f "$scratch/install/usr/local/$site/tarva/__init__.py" ] || fail "cmake --install did not install the Python package"
  lines=$(cd "$scratch" && PYTHONPATH="$scratch/install/usr/local/$site" TARVA_LIB="$scratch/install/usr/local/lib/tarva/" \
          "$python" -c 'import tarva; print(len(tarva.Session().xray_lines("Fe", "K")))') \
    || fail "the installed Python package does not import"
  [ "$lines" -gt 0 ] || fail "the installed Python package finds no X-ray lines"
fi
man -l "$scratch/install/usr/local/share/man/man1/tarva.1" 2>/dev/null | grep -q 'tarva - interactive fitting' \
  || groff -man -Tutf8 "$scratch/install/usr/local/share/man/man1/tarva.1" 2>/dev/null | grep -q 'tarva - interactive fitting' \
  || fail "the man page does not format"

# The Debian package: metadata, contents, and a run from the unpacked tree.
(cd "$build" && cpack -G DEB -B "$scratch/deb" >/dev/null)
deb=$(ls "$scratch"/deb/*.deb)
dpkg-deb --field "$deb" Package | grep -qx tarva || fail "package name"
# The package depends on the C library, and on readline where the program
# loads it as a shared library (the default build links it in).
dpkg-deb --field "$deb" Depends | grep -q libc6 || fail "no dependency on the C library"
if objdump -p "$build/tarva" | grep -q 'NEEDED *libreadline'; then
  dpkg-deb --field "$deb" Depends | grep -q libreadline || fail "no dependency on readline"
fi
dpkg -x "$deb" "$scratch/root"
run=$(printf 'help exit\nexit\n' | HOME="$scratch" TARVA_LIB="$scratch/root/usr/local/lib/tarva/" \
      "$scratch/root/usr/local/bin/tarva" 2>&1)
grep -q 'EXIT           closes the plot files' <<<"$run" || fail "the packaged program does not show its help: $run"
"$scratch/root/usr/local/bin/tarva" --version | grep -qx 'tarva [0-9.]*' || fail "--version"
# IMPORT's xylib reader is packaged in the library directory, runs there
# (its shared libraries found) and answers; the package depends on xylib.
dpkg-deb --field "$deb" Depends | grep -q libxy || fail "no dependency on xylib"
reply=$("$scratch/root/usr/local/lib/tarva/tarva-xylib" docs/examples/xrf.spe) || fail "the packaged tarva-xylib fails"
[ "${reply%%$'\n'*}" = "tarva-xylib 1" ] || fail "the packaged tarva-xylib does not answer: $reply"
echo "check_package: install and Debian package ($(basename "$deb")) work"
