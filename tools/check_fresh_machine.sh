#!/usr/bin/env bash
# `make run` on a fresh machine, as near as this one comes to it (as root):
#
#     tools/check_fresh_machine.sh [PACKAGE]
#
# Removes one package of the build group of tools/debian-packages.txt
# (libsixel-dev unless another is named), runs `make run` with EXIT on its
# input in a clean clone of the checkout (its committed state), and checks
# that the package was installed again and the program reached its prompt.
# Whatever happens, the package is installed again at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pkg=${1:-libsixel-dev}
if [ "$(id -u)" != 0 ]; then
    echo "$0: must run as root (it removes and installs $pkg)" >&2
    exit 1
fi
installed() { [ "$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null)" = installed ]; }
export DEBIAN_FRONTEND=noninteractive

# Inside the checkout (git ignores build*/), so that a compiler cache set up
# for it sees the same relative paths.
scratch=$(mktemp -d "$root/build-fresh.XXXXXX")
restore() {
    installed || apt-get install -y -qq "$pkg" >/dev/null || echo "$0: could not install $pkg again" >&2
    rm -rf "$scratch"
}
trap restore EXIT
git clone -q "$root" "$scratch/tarva"

apt-get remove -y -qq "$pkg" >/dev/null
if installed; then
    echo "$0: could not remove $pkg" >&2
    exit 1
fi
status=0
out=$(echo EXIT | make -C "$scratch/tarva" -s --no-print-directory run 2>&1) || status=$?
if [ "$status" -ne 0 ] || ! grep -q ' fit> ' <<<"$out" || ! installed; then
    printf '%s\n' "$out"
    echo "$0: make run without $pkg: status $status, $(installed && echo "$pkg installed" || echo "$pkg missing")" >&2
    exit 1
fi
echo "A fresh machine without $pkg: make run installed it and reached the prompt."
