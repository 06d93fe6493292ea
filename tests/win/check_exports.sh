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
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort)
wanted=$(grep -v '^[[:space:]]*$' "$expected" | sort)
if [ "$actual" != "$wanted" ]; then
    echo "export table differs from $expected (- expected, + actual):"
    dir=$(mktemp -d) || exit 1
    printf '%s\n' "$wanted" > "$dir/expected"
    printf '%s\n' "$actual" > "$dir/actual"
    diff -u "$dir/expected" "$dir/actual" | tail -n +3
    rm -rf "$dir"
    status=1
else
    echo "exports: $(printf '%s' "$actual" | tr '\n' ' ')"
fi

imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
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
echo "imports: $(printf '%s' "$imports" | tr '\n' ' ')"
exit $status
