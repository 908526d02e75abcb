#!/bin/sh
# Makes sure the Debian packages of the named groups of
# tools/debian-packages.txt are installed:
#
#     tools/debian-packages.sh build [test]
#
# Quiet when none is missing. Missing ones are installed with apt-get when
# run as root (the package lists are refreshed when apt-get does not know a
# package); otherwise one message gives the apt-get line that installs them
# and the script fails, so make stops before configuring. Without dpkg (not
# Debian) nothing is checked: the configure then says what it lacks.
set -eu
list="$(dirname "$0")/debian-packages.txt"
command -v dpkg-query >/dev/null 2>&1 || exit 0
[ $# -gt 0 ] || { echo "usage: $0 GROUP..." >&2; exit 2; }

# The names of the groups asked for: a "[group]" line starts a group, "#"
# starts a comment.
wanted=$(awk -v groups=" $* " '
    { sub(/#.*/, "") }
    /^[ \t]*\[.*\][ \t]*$/ { gsub(/[][ \t]/, ""); group = $0; next }
    NF && index(groups, " " group " ") { print $1 }' "$list")
# shellcheck disable=SC2086
installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' $wanted 2>/dev/null |
            awk '$2 == "installed" { print $1 }') || true
missing=""
for pkg in $wanted; do
    printf '%s\n' "$installed" | grep -qxF "$pkg" || missing="$missing $pkg"
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" != 0 ]; then
    echo "tarva needs Debian packages that are not installed. Install them as root with" >&2
    echo "    apt-get install$missing" >&2
    exit 1
fi
echo "Installing the missing Debian packages:$missing"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
export DEBIAN_FRONTEND=noninteractive
# shellcheck disable=SC2086
if ! apt-get install -y -q $missing >"$log" 2>&1; then
    # A fresh machine may have no package lists yet, or old ones.
    # shellcheck disable=SC2086
    if ! { apt-get update -q && apt-get install -y -q $missing; } >"$log" 2>&1; then
        cat "$log" >&2
        echo "apt-get could not install:$missing" >&2
        exit 1
    fi
fi
