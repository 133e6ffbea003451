#!/usr/bin/env bash
# Checks a built quilloncrypto.dll with objdump -p: it exports exactly the entries of the export
# table, by name under their fixed ordinals, and imports system DLLs only (the C++
# runtime, libgcc and winpthread must be linked in, or the DLL would not load on a bare machine).
# usage: check_dll.sh <objdump> <quilloncrypto.dll> <export_table.h>
set -u
objdump=$1 dll=$2 table=$3
dump=$("$objdump" -p "$dll") || { echo "objdump failed on $dll"; exit 1; }
status=0

expected=$(sed -n 's/.*QUILLON_EXPORT_ENTRY(\([0-9]*\), \([A-Za-z0-9_]*\)).*/\1 \2/p' "$table" | sort)
base=$(echo "$dump" | awk '/^Ordinal Base/ {print $3}')
# "[Ordinal/Name Pointer] Table" rows are "[ordinal - base] name".
actual=$(echo "$dump" | awk -v base="${base:-1}" '
    /\[Ordinal\/Name Pointer\] Table/ {on = 1; next}
    on && /^\t\[ *[0-9]+\] / {sub(/^\t\[ */, ""); split($0, f, /\] /); print f[1] + base, f[2]; next}
    on && !/^\t\[/ {on = 0}' | sort)
if [ -z "$expected" ] || [ "$expected" != "$actual" ]; then
    echo "$dll: exports differ from the export table (< table, > DLL):"
    diff <(echo "$expected") <(echo "$actual")
    status=1
fi
count=$(echo "$actual" | grep -c .)

allowed=" kernel32.dll msvcrt.dll bcrypt.dll advapi32.dll "
imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll_name in $imports; do
    case "$allowed" in
        *" $dll_name "*) ;;
        *) echo "$dll: imports $dll_name, which is not a system DLL"; status=1 ;;
    esac
done

[ $status -eq 0 ] && echo "$(basename "$dll"): $count exports with their ordinals; imports: $(echo $imports)"
exit $status
