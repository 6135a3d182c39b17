#!/usr/bin/env bash
# The installed system works on its own: `cmake --install` into a fresh prefix records the servers and programs
# in a fresh registry, the public headers compile from there, and the sample test runs from the prefix through
# scrivon (offscreen) and scrivon-drive as scripts/demo runs it from the build tree, with the default data source.
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

# The sample test, from the prefix.
demo=$VORNIC_HOME/Test/demo
mkdir -p "$demo"
cp "$prefix/share/vornic/demo/dmm-traffic.xml" "$demo/"
sed "s|@DEMO_DIR@|$demo|g" "$prefix/share/vornic/demo/measure.JScript.ts" >"$demo/measure.JScript.ts"
QT_QPA_PLATFORM=offscreen "$prefix/bin/scrivon" >"$work/scrivon.log" 2>&1 &
scrivon=$!
# scrivon-drive tells the verdict by its exit code: 0 passed, 1 failed, 2 error, 3 not run.
drive_status=0
timeout 120 "$prefix/bin/scrivon-drive" "$demo/measure.JScript.ts" >"$work/drive.log" 2>&1 || drive_status=$?
[ "$drive_status" -eq 0 ] || fail "the sample test did not pass (scrivon-drive exit code $drive_status)"
grep -qx "verdict: Passed" "$work/scrivon.log" || fail "the script executive did not report the verdict Passed"

# The sample test sequence, from the prefix, as scripts/demo runs it offscreen: the meter is replayed; its
# identity passes, its function answer does not parse, which ends the run in error before the standby check.
cp "$prefix/share/vornic/demo/meter.daf" "$prefix/share/vornic/demo/meter-traffic.xml" "$demo/"
for file in board.tsq identify.JScript.ts function.JScript.ts standby.JScript.ts; do
  sed -e "s|@DEMO_DIR@|$demo|g" -e "s|@METER_RESOURCE@|TCPIP0::127.0.0.1::5025::SOCKET|g" \
    -e "s|@METER_SETUP@|Simulation=RandomRead|g" "$prefix/share/vornic/demo/$file" >"$demo/$file"
done
sequence_status=0
QT_QPA_PLATFORM=offscreen timeout 120 "$prefix/bin/runvex" "$demo/board.tsq" >"$work/runvex.log" 2>&1 ||
  sequence_status=$?
[ "$sequence_status" -eq 2 ] || fail "the sample sequence did not end in error (runvex exit code $sequence_status)"
verdicts=$(grep -E "^(verdict|image): " "$work/runvex.log" | tr '\n' ' ')
[ "$verdicts" = "verdict: Passed image: 6 verdict: Error image: 5 " ] ||
  fail "the sample sequence's verdicts are '$verdicts'"
grep -qF "Schema din't match the Response" "$work/runvex.log" || fail "the meter's function answer was not refused"
grep -qF "Meter: VORNIC,LOOPBACK,0,1.0" "$work/runvex.log" || fail "the meter's identity was not replayed"

# The test engine opened the default data source from the program folder: the result rows of the sample
# test and of the sequence's two tests (the identity's check, and each test's verdict) are in the data home.
database=$VORNIC_HOME/Results/TestResults.db
query="SELECT TestID || ':' || TestStatus FROM TestResults WHERE SN = 'DEMO-0001' ORDER BY rowid"
rows=$(sqlite3 "$database" "$query" 2>&1 | tr '\n' ' ') || fail "no results table in $database"
[ "$rows" = "measure.JScript:Passed Identify:Passed Identify:Passed Function:Error " ] ||
  fail "the result rows are '$rows'"
echo "install_test: installed to a fresh prefix and registered there; the headers compile; the sample test" \
  "passed and the sample sequence ran"
