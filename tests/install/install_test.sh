#!/usr/bin/env bash
# The installed system works on its own: `cmake --install` into a fresh prefix records the servers and programs
# in a fresh registry, the public headers compile from there, and the sample test and sequence run as
# installed, from the prefix, through scrivon (offscreen), scrivon-drive and runvex, with the default data
# source, for the installing user and for a second user of the station (made with useradd when the test runs
# as root), and neither writes a file of the installation.
#   install_test.sh <build folder> <C++ compiler>
set -euo pipefail
build=$1
cxx=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/vornic-install.XXXXXX")
scrivon=""
cleanup() {
  if [ -n "$scrivon" ]; then
    kill "$scrivon" 2>/dev/null || true
    wait "$scrivon" 2>/dev/null || true
  fi
  # The hardware manager that the script started on demand leaves by itself once no client holds it.
  for _ in $(seq 60); do
    pgrep -f "$work/prefix/bin/rigmont" >/dev/null || break
    sleep 0.5
  done
  if [ -n "${second_user:-}" ]; then
    # The second user's hardware manager leaves by itself, as the first user's does above.
    for _ in $(seq 60); do
      pgrep -u "$second_user" >/dev/null || break
      sleep 0.5
    done
    userdel "$second_user" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "install_test: $*" >&2
  for log in "$work"/*.log; do
    [ -f "$log" ] && { echo "--- $log"; cat "$log"; } >&2
  done
  exit 1
}

prefix=$work/prefix
export VORNIC_HOME=$work/home VORNIC_REGISTRY=$work/registry XDG_RUNTIME_DIR=$work/run
unset LD_LIBRARY_PATH
mkdir -p "$VORNIC_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "cmake --install failed"

# The registry names the installed files, and nothing of the build tree; neither do the binaries.
grep -rqF "$prefix/bin/libutils.so" "$VORNIC_REGISTRY" || fail "the CSV file server is not registered"
grep -rqF "$prefix/bin/libplotvane.so" "$VORNIC_REGISTRY" || fail "the graph control is not registered"
grep -rqF "$prefix/bin/rigmont" "$VORNIC_REGISTRY" || fail "the hardware manager is not registered"
grep -rqF "$prefix/bin/libformiq.so" "$VORNIC_REGISTRY" || fail "the editor control the test executive hosts is not registered"
[ -f "$prefix/bin/Blank.tsq" ] || fail "the blank sequence the test executive starts new files from is missing"
[ -f "$prefix/bin/Blank.JScript.pnx" ] || fail "the blank panel the control panel starts new files from is missing"
grep -rqF "$prefix/bin/graphhost" "$VORNIC_REGISTRY" || fail "the graph host is not registered"
[ -f "$prefix/bin/libtemplon.so" ] || fail "the template of the studio's device libraries is missing"
if grep -rqF "libtemplon.so" "$VORNIC_REGISTRY"; then
  fail "the template of the device libraries is registered itself"
fi
if grep -rqF "$build" "$VORNIC_REGISTRY"; then
  fail "the registry names the build tree"
fi
for binary in scrivon runvex panolix rigmont libvrplatform.so libinstrel.so libformiq.so; do
  if readelf -d "$prefix/bin/$binary" | grep -qF "$build"; then
    fail "$binary looks for its libraries in the build tree"
  fi
done

# Every public header (each server's include/ folder and the plain libraries') compiles on the prefix's
# include path alone.
(cd "$prefix/include/vornic" && find . -path './*/include/*.h' -printf '#include "%P"\n') >"$work/headers.cpp"
echo '#include "instruments/Xlatrix/Xlatrix.h"' >>"$work/headers.cpp"
echo '#include "common/proxies/SystemProxies.h"' >>"$work/headers.cpp"
"$cxx" -std=c++20 -fsyntax-only -I "$prefix/include/vornic" "$work/headers.cpp" >"$work/headers.log" 2>&1 ||
  fail "the public headers do not compile from the prefix"

[ "$("$prefix/bin/vornic-register" --version)" = \
  "vornic-register $(cat "$prefix/bin/version.dat"), build $(cat "$prefix/bin/build.dat")" ] ||
  fail "the installed programs do not tell their build"

# The sample test and the sample test sequence, as installed: run from the prefix, as the README says.
demo=$prefix/share/vornic/demo
if grep -rl '@[A-Z_]*@' "$demo" >"$work/placeholders.log"; then
  fail "the installed sample still holds placeholders"
fi
[ -x "$prefix/bin/vrloopback_instrument" ] || fail "the loopback instrument the user guide uses is not installed"
store_before=$(md5sum "$prefix/bin/HwConfigStore.cfs")

# Runs the installed sample test through scrivon (offscreen) and scrivon-drive, then the sample sequence
# through runvex, as scripts/demo does: the meter is replayed; the sample test passes; in the sequence the
# meter's identity passes, its function answer does not parse, which ends the run in error before the standby
# check. The programs' lines go to <log prefix>-*.log; what went wrong, to standard output.
#   run_sample <log prefix>
run_sample() {
  QT_QPA_PLATFORM=offscreen "$prefix/bin/scrivon" >"$1-scrivon.log" 2>&1 &
  local scrivon_pid=$!
  local drive_status=0
  # scrivon-drive tells the verdict by its exit code: 0 passed, 1 failed, 2 error, 3 not run.
  timeout 120 "$prefix/bin/scrivon-drive" "$demo/measure.JScript.ts" >"$1-drive.log" 2>&1 || drive_status=$?
  kill "$scrivon_pid" 2>/dev/null || true
  wait "$scrivon_pid" 2>/dev/null || true # ended on purpose: its code says nothing
  if [ "$drive_status" -ne 0 ]; then
    echo "the sample test did not pass (scrivon-drive exit code $drive_status)"
    return 1
  fi
  grep -qx "verdict: Passed" "$1-scrivon.log" || { echo "scrivon did not report the verdict Passed"; return 1; }
  local sequence_status=0
  QT_QPA_PLATFORM=offscreen timeout 120 "$prefix/bin/runvex" "$demo/board.tsq" >"$1-runvex.log" 2>&1 ||
    sequence_status=$?
  if [ "$sequence_status" -ne 2 ]; then
    echo "the sample sequence did not end in error (runvex exit code $sequence_status)"
    return 1
  fi
  local verdicts
  verdicts=$(grep -E "^(verdict|image): " "$1-runvex.log" | tr '\n' ' ')
  if [ "$verdicts" != "verdict: Passed image: 6 (passed) verdict: Error image: 5 (error) " ]; then
    echo "the sample sequence's verdicts are '$verdicts'"
    return 1
  fi
  grep -qF "Schema din't match the Response" "$1-runvex.log" || { echo "the function answer was not refused"; return 1; }
  grep -qF "Meter: VORNIC,LOOPBACK,0,1.0" "$1-runvex.log" || { echo "the meter's identity was not replayed"; return 1; }
}

message=$(run_sample "$work/installer") || fail "as the installing user: $message"
[ "$(md5sum "$prefix/bin/HwConfigStore.cfs")" = "$store_before" ] || fail "the sample wrote the station's store"

# The test engine opened the default data source from the program folder: the result rows of the sample
# test and of the sequence's two tests (the identity's check, and each test's verdict) are in the data home.
database=$VORNIC_HOME/Results/TestResults.db
query="SELECT TestID || ':' || TestStatus FROM TestResults WHERE SN = 'DEMO-0001' ORDER BY rowid"
rows=$(sqlite3 "$database" "$query" 2>&1 | tr '\n' ' ') || fail "no results table in $database"
[ "$rows" = "measure.JScript:Passed Identify:Passed Identify:Passed Function:Error " ] ||
  fail "the result rows are '$rows'"

# A second user of the station: registers once, runs the same sample from the prefix without writing any of its
# files, and a save into the store, which belongs to the installing user, fails naming the permission.
second_user=""
if [ "$(id -u)" -ne 0 ]; then
  echo "install_test: the second user's run is skipped: creating a user for it needs root (useradd)"
else
  second_user=vrinst$$
  second=$work/second
  for _ in 1 2 3 4 5; do # useradd refuses while another holds the user database's lock
    useradd --no-create-home --home-dir "$second" --shell /bin/bash "$second_user" 2>"$work/useradd.log" && break
    sleep 1
  done
  id "$second_user" >/dev/null 2>&1 || fail "no second user could be made: $(cat "$work/useradd.log")"
  chmod 755 "$work"
  mkdir -p "$second/run" "$second/logs"
  chmod 700 "$second/run"
  printf '%s\n' 'function Test() {' \
    '    var hardware = new ActiveXObject("Vornic.Rigmont");' \
    '    hardware.SaveRecord("connection", "Mine", "", "TCPIP::127.0.0.1::5025::SOCKET", "");' \
    '    return "pass";' '}' >"$second/save.JScript.ts"
  {
    echo "set -u"
    echo "prefix='$prefix' demo='$demo' logs='$second/logs' script='$second/save.JScript.ts'"
    declare -f run_sample
    cat <<'SCRIPT'
"$prefix/bin/vornic-register" >"$logs/register.log" 2>&1 || { echo "vornic-register failed"; exit 1; }
message=$(run_sample "$logs/second") || { echo "$message"; exit 1; }
QT_QPA_PLATFORM=offscreen "$prefix/bin/scrivon" >"$logs/save-scrivon.log" 2>&1 &
scrivon_pid=$!
status=0
timeout 120 "$prefix/bin/scrivon-drive" "$script" >"$logs/save-drive.log" 2>&1 || status=$?
kill "$scrivon_pid" 2>/dev/null
wait "$scrivon_pid" 2>/dev/null
[ "$status" -eq 2 ] || { echo "a save into the installer's store did not end in error ($status)"; exit 1; }
grep -qF "Can't save the Configuration Store file '$prefix/bin/HwConfigStore.cfs'. Permission denied." \
  "$logs/save-scrivon.log" || { echo "the failed save does not name the permission and the file"; exit 1; }
SCRIPT
  } >"$second/run.sh"
  chown -R "$second_user:" "$second"
  second_status=0
  second_message=$(runuser -u "$second_user" -- env -i PATH="$PATH" HOME="$second" \
    XDG_RUNTIME_DIR="$second/run" bash "$second/run.sh" 2>&1) || second_status=$?
  for log in "$second"/logs/*.log; do
    [ -f "$log" ] && cp "$log" "$work/second-user-$(basename "$log")"
  done
  [ "$second_status" -eq 0 ] || fail "as a second user: $second_message"
  [ "$(md5sum "$prefix/bin/HwConfigStore.cfs")" = "$store_before" ] || fail "the second user changed the store"
  [ -s "$second/vornic/Results/TestResults.db" ] || fail "the second user's result rows are not in their data home"
fi

echo "install_test: installed to a fresh prefix and registered there; the headers compile; the sample test" \
  "passed and the sample sequence ran"
