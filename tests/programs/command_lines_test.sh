#!/usr/bin/env bash
# Every program a user runs answers --help with its usage on standard output and exit code 0, and --version
# with its name, the project's version, the commit and the build stamp (version.dat and build.dat beside it),
# without a display, a registry or a runtime folder; an unknown switch gets the usage on standard error and the
# one exit code of a bad command line, 64.
#   command_lines_test.sh <bin folder> <program>...
set -uo pipefail
bin=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/vornic-command-lines.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Nothing to show a window on, and nowhere a program could have started anything.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export VORNIC_REGISTRY=$work/no-registry VORNIC_HOME=$work/no-home XDG_RUNTIME_DIR=$work/no-runtime

failures=0
fail() {
  echo "command_lines_test: $*" >&2
  failures=$((failures + 1))
}

for program in "$@"; do
  timeout 30 "$bin/$program" --help >"$work/out" 2>"$work/err"
  code=$?
  [ "$code" -eq 0 ] || fail "$program --help exited with $code: $(cat "$work/err")"
  grep -q "^usage: " "$work/out" || fail "$program --help printed no usage"
  grep -q -- "--help" "$work/out" || fail "$program --help does not list --help"

  grep -q -- "--version" "$work/out" || fail "$program --help does not list --version"

  timeout 30 "$bin/$program" --version >"$work/out" 2>"$work/err"
  code=$?
  [ "$code" -eq 0 ] || fail "$program --version exited with $code: $(cat "$work/err")"
  # The version, commit and stamp beside it.
  stamp=$(cat "$(dirname "$bin/$program")/build.dat" 2>/dev/null || echo unknown)
  version=$(cat "$(dirname "$bin/$program")/version.dat" 2>/dev/null || echo unknown version)
  [ "$(cat "$work/out")" = "$(basename "$program") $version, build $stamp" ] ||
    fail "$program --version says '$(cat "$work/out")'"

  timeout 30 "$bin/$program" --no-such-switch >"$work/out" 2>"$work/err"
  code=$?
  [ "$code" -eq 64 ] || fail "$program --no-such-switch exited with $code, not 64"
  grep -q -- "--no-such-switch" "$work/err" || fail "$program does not name the unknown switch"
  grep -q "^usage: " "$work/err" || fail "$program gives no usage on standard error for an unknown switch"
  [ -s "$work/out" ] && fail "$program wrote to standard output for an unknown switch"
done
[ "$failures" -eq 0 ] && echo "command_lines_test: $# programs answer --help and --version and refuse an unknown switch"
exit $((failures > 0))
