#!/usr/bin/env bash
# Runs script_checks.vbs with cscript against KWOLFunc.dll and the stand-ins'
# KWStandins.dll, both registered for the run:  script_checks.sh KWOLFunc.dll KWStandins.dll
# The component's settings are removed before and after, so that every run
# starts from the defaults; unregistering must leave the classes registry as
# it was before.
set -uo pipefail
wine=${KW_WINE:-/usr/lib/wine/wine64}
here=$(cd "$(dirname "$0")" && pwd)
dlls=()
for dll in "$1" "$2"; do dlls+=("$(winepath -w "$dll" 2>/dev/null || echo "Z:$dll")"); done
forget_settings() { "$wine" reg delete 'HKCU\Software\Kestrelwood' /f </dev/null >/dev/null 2>&1; }
unregister() {
  local status=0
  for dll in "${dlls[@]}"; do "$wine" regsvr32 /s /u "$dll" </dev/null || { echo "FAIL regsvr32 /u $dll"; status=1; }; done
  forget_settings
  return $status
}
snapshots=$(mktemp -d)
trap 'rm -rf "$snapshots"' EXIT
classes_root() { "$wine" regedit /e "Z:$snapshots/$1.reg" HKEY_CLASSES_ROOT </dev/null; }
forget_settings
# cscript registers its own type library on its first run in a prefix; run
# an empty script first, so that the snapshot already holds it.
: >"$snapshots/empty.vbs"
"$wine" cscript //nologo "Z:$snapshots/empty.vbs" </dev/null >/dev/null 2>&1
classes_root before
for dll in "${dlls[@]}"; do
  "$wine" regsvr32 /s "$dll" </dev/null || { echo "FAIL regsvr32 $dll"; unregister; exit 1; }
done
# A script error stops the script without a failing exit code under Wine:
# the script's own last line must be there.
output=$("$wine" cscript //nologo "Z:$here/script_checks.vbs" </dev/null)
status=$?
echo "$output"
grep -q "^0 failed" <<<"$output" || status=1
unregister || status=1
classes_root after
if cmp -s "$snapshots/before.reg" "$snapshots/after.reg"; then
  echo "ok   unregistering leaves the classes registry as it was"
else
  echo "FAIL unregistering leaves the classes registry as it was"
  status=1
fi
exit $status
