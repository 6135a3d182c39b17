#!/usr/bin/env bash
# vrreg against a fresh registry folder: a value set is read back as set (also given by its short root, with
# "/" between the parts), a missing key or value is exit code 1 and named, a deleted value and key are gone.
#   vrreg_test.sh <vrreg>
set -uo pipefail
vrreg=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/vornic-vrreg.XXXXXX")
trap 'rm -rf "$work"' EXIT
export VORNIC_REGISTRY=$work/registry
key='HKEY_LOCAL_MACHINE\Software\Vornic\Config'
failures=0
check() { # <what> <expected> <actual>
  [ "$2" = "$3" ] || { echo "vrreg_test: $1: expected '$2', got '$3'" >&2; failures=$((failures + 1)); }
}

"$vrreg" query "$key" ConfigStoreFile 2>"$work/err"
check "a missing key" "1" "$?"
grep -qF "no key $key in $work/registry" "$work/err" || check "the missing key's message" "" "$(cat "$work/err")"
"$vrreg" add 'HKLM/Software/Vornic/Config' ConfigStoreFile "/srv/bench/store with blanks.cfs"
check "add" "0" "$?"
"$vrreg" add 'HKLM\Software\Vornic\Config' Retries 3 --type REG_DWORD
check "the line of a value" "    ConfigStoreFile    REG_SZ    /srv/bench/store with blanks.cfs" \
  "$("$vrreg" query "$key" ConfigStoreFile | tail -n 1)"
check "the key's values" "2" "$("$vrreg" query "$key" | grep -c '^    ')"
"$vrreg" delete "$key" ConfigStoreFile
"$vrreg" query "$key" ConfigStoreFile 2>/dev/null
check "a deleted value" "1" "$?"
"$vrreg" delete 'HKLM\Software\Vornic'
"$vrreg" query "$key" 2>/dev/null
check "a deleted key" "1" "$?"
exit $((failures > 0))
