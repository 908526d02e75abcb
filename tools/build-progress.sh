#!/usr/bin/env bash
# Builds one target of a configured build directory, for `make run`:
#
#     tools/build-progress.sh BUILD TARGET JOBS
#
# The build's messages go to BUILD/make-run.log and are shown only when the
# build fails. On a terminal one line tells how far it is (CMake's
# percentage, or ninja's count, and the file being compiled), written over
# in place and wiped at the end, so what follows starts on a clean screen.
set -uo pipefail
build=$1 target=$2 jobs=$3
log=$build/make-run.log

if [ ! -t 1 ]; then
    cmake --build "$build" --target "$target" -j "$jobs" >"$log" 2>&1 || { cat "$log"; exit 1; }
    exit 0
fi

width=$(stty size </dev/tty 2>/dev/null | cut -d' ' -f2)
[[ $width =~ ^[0-9]+$ ]] && [ "$width" -ge 20 ] || width=80
# One line wide at most, or the terminal wraps it and \r no longer
# returns to its start.
show() { printf '\r%-*.*s' $((width - 1)) $((width - 1)) "$1"; }

# Without colours: make tells CMake's messages that they reach a terminal.
unset MAKE_TERMOUT MAKE_TERMERR
cmake --build "$build" --target "$target" -j "$jobs" 2>&1 | tee "$log" | {
    count='^\[ *([0-9]+%|[0-9]+/[0-9]+)\] (.*)$'
    object='^Building [A-Z]+ object .*\.dir/(.*)\.o$'
    while IFS= read -r line; do
        [[ $line =~ $count ]] || continue
        step=${BASH_REMATCH[1]} what=${BASH_REMATCH[2]}
        [[ $what =~ $object ]] && what="compiling ${BASH_REMATCH[1]}"
        show "  [$step] $what"
    done
}
status=${PIPESTATUS[0]}
show ""
printf '\r'
if [ "$status" -ne 0 ]; then
    cat "$log"
    exit 1
fi
