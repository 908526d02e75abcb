#!/usr/bin/env bash
# Runs one transcript: NAME.in is typed into the real binary in a fresh
# directory (HOME and TARVA_LIB set here), standard output must equal NAME.out.
# Optional: NAME.files/ copied into the directory first (links to data
# files that other transcripts share are copied as the files they name); NAME.err expected
# standard error; NAME.status expected exit status (default 0); NAME.check a
# shell script run in the directory afterwards that must succeed.
# The temporary directory's path is written as TMP in both outputs.
set -u
bin=$1 dir=$2 name=$3 lib=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/bin"
if [ -d "$dir/$name.files" ]; then cp -rL "$dir/$name.files/." "$work/"; fi
if [ -d "$work/home.files" ]; then cp -r "$work/home.files/." "$work/home/"; rm -rf "$work/home.files"; fi
cd "$work" || exit 2
HOME="$work/home" TARVA_LIB="$lib" TZ=UTC timeout 60 "$bin" <"$dir/$name.in" >"$work/.stdout" 2>"$work/.stderr"
status=$?
expected_status=0
[ -f "$dir/$name.status" ] && expected_status=$(cat "$dir/$name.status")
fail=0
sed -i "s|$work|TMP|g" "$work/.stdout" "$work/.stderr"
if ! cmp -s "$work/.stdout" "$dir/$name.out"; then
  echo "standard output differs from $name.out:"
  diff <(cat -A "$dir/$name.out") <(cat -A "$work/.stdout") | head -40
  fail=1
fi
if [ -f "$dir/$name.err" ] && ! cmp -s "$work/.stderr" "$dir/$name.err"; then
  echo "standard error differs from $name.err:"
  diff <(cat -A "$dir/$name.err") <(cat -A "$work/.stderr") | head -20
  fail=1
fi
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"
  cat "$work/.stderr" | head -20
  fail=1
fi
# For the check scripts: `if have gs; then ...` runs a check that needs an
# outside program only when it is installed; under CI (CI set), which
# installs every one of them, a missing program fails the check instead.
have() {
  command -v "$1" >/dev/null && return 0
  if [ -n "${CI:-}" ]; then echo "$1 is not installed (CI installs every tool the tests use)" >&2; exit 1; fi
  return 1
}
export -f have
if [ -f "$dir/$name.check" ]; then
  if ! bash "$dir/$name.check" "$dir"; then
    echo "$name.check failed"
    fail=1
  fi
fi
exit $fail
