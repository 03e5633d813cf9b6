#!/usr/bin/env bash
# Checks a built KWOLFunc.dll without running it:
#   examine_dll.sh OBJDUMP DLL FORMAT
# its format (pei-i386 or pei-x86-64), the four undecorated exports and no
# others, imports of system DLLs only (the run-time libraries are linked in),
# the resources TYPELIB 1, _IID_FUNCTIONS 1 (the 16 bytes of a GUID) and the
# version, and the version's texts.
set -uo pipefail
objdump=$1 dll=$2 format=$3
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
headers=$("$objdump" -p "$dll") || { echo "FAIL $dll cannot be read"; exit 1; }

check "the file is $format" grep -q "file format $format" <<<"$headers"

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | awk '/\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
check "exports exactly the four entry points, undecorated ($exports)" \
  test "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "

imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u | tr '\n' ' ')
allowed=" advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll "
only_system=true
for i in $imports; do [[ $allowed == *" $i "* ]] || only_system=false; done
check "imports system DLLs only ($imports)" $only_system

resources=$(sed -n '/Resource Directory section/,/Resources start/p' <<<"$headers")
resource() {  # resource TYPE-LINE-PATTERN: the named or numbered type has ID 1
  grep -A2 -E "$1" <<<"$resources" | grep -q "Entry: ID: 0x000001,"
}
check "resource TYPELIB 1" resource 'name: .*: TYPELIB,'
check "resource _IID_FUNCTIONS 1" resource 'name: .*: _IID_FUNCTIONS,'
iid_size() { grep -A5 -E ': _IID_FUNCTIONS,' <<<"$resources" | grep -q 'Size: 0x000010,'; }
check "_IID_FUNCTIONS holds 16 bytes" iid_size
check "a version resource" resource 'Entry: ID: 0x000010,'

texts=$(strings -el "$dll")
for text in 1.00.0117 OLESelfRegister KWOLFunc.dll; do
  check "the version holds \"$text\"" grep -qx "$text" <<<"$texts"
done

echo "$failures failed"
[ "$failures" -eq 0 ]
