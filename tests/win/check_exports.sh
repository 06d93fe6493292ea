#!/bin/sh
# Checks a built DLL's export table against a list of names (one per line, any order) and that it
# imports only DLLs that every Windows system has: no run-time library of the compiler may be
# needed next to the plug-in.
# Usage: check_exports.sh <objdump> <dll> <expected-exports.txt>
set -u
objdump=$1 dll=$2 expected=$3
dump=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }
status=0
actual=$(printf '%s\n' "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort | tr '\n' ' ')
wanted=$(grep -v '^[[:space:]]*$' "$expected" | sort | tr '\n' ' ')
echo "exports: $actual"
if [ "$actual" != "$wanted" ]; then
    echo "the export table is not the list in $expected: $wanted"
    status=1
fi
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "imports: $(printf '%s' "$imports" | tr '\n' ' ')"
for name in $imports; do
    case $(printf '%s' "$name" | tr '[:upper:]' '[:lower:]') in
        kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | msvcrt.dll | advapi32.dll | shell32.dll | \
            ole32.dll | oleaut32.dll | comdlg32.dll | ucrtbase.dll | api-ms-win-*.dll) ;;
        *)
            echo "imports a DLL that is not part of Windows: $name"
            status=1
            ;;
    esac
done
exit $status
