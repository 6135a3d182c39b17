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
grep -rqF "$prefix/bin/graphhost" "$VORNIC_REGISTRY" || fail "the graph host is not registered"
if grep -rqF "$build" "$VORNIC_REGISTRY"; then
  fail "the registry names the build tree"
fi
for binary in scrivon runvex rigmont libvrplatform.so libinstrel.so libformiq.so; do
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

# The test engine opened the default data source from the program folder: the results table is in the data
# home.
database=$VORNIC_HOME/Results/TestResults.db
sqlite3 "$database" "SELECT COUNT(*) FROM TestResults" >/dev/null 2>&1 || fail "no results table in $database"
echo "install_test: installed to a fresh prefix and registered there; the headers compile; the sample test passed"
