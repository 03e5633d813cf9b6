#!/usr/bin/env bash
# Runs script_checks.vbs with cscript against KWOLFunc.dll, registered for
# the run:  script_checks.sh DLL
set -uo pipefail
wine=${KW_WINE:-/usr/lib/wine/wine64}
here=$(cd "$(dirname "$0")" && pwd)
dll=$(winepath -w "$1" 2>/dev/null || echo "Z:$1")
"$wine" regsvr32 /s "$dll" </dev/null || { echo "FAIL regsvr32 $dll"; exit 1; }
# A script error stops the script without a failing exit code under Wine:
# the script's own last line must be there.
output=$("$wine" cscript //nologo "Z:$here/script_checks.vbs" </dev/null)
status=$?
echo "$output"
grep -q "^0 failed" <<<"$output" || status=1
"$wine" regsvr32 /s /u "$dll" </dev/null || { echo "FAIL regsvr32 /u $dll"; exit 1; }
exit $status
