#!/usr/bin/env bash
# Fails when a file under src/ includes from its own floor's level or above another folder's:
# every folder has a floor of its own, and an include may only point to a lower one. Two folders
# can therefore never include each other. The public header belongs to the export layer: below
# it, modules return results of their own, and only the SEED-CBC record the host allocates
# (cipher/seed.h) comes from the public header.
# usage: check_floors.sh <source root>
set -u
cd "$1" || exit 2
# Bottom to top.
floors=(core platform container text bignum asn1 cipher rsa x509 trust pkcs card disk exchange api)
floor() {
    local i
    for i in "${!floors[@]}"; do
        [ "${floors[$i]}" = "$1" ] && { echo "$i"; return; }
    done
    echo -1
}
status=0
for folder in src/*/; do
    folder=${folder%/}; folder=${folder#src/}
    [ "$(floor "$folder")" -lt 0 ] && { echo "src/$folder: folder has no floor"; status=1; }
done
while IFS= read -r file; do
    from=$(echo "$file" | cut -d/ -f2)
    from_floor=$(floor "$from")
    [ "$from_floor" -lt 0 ] && continue
    while IFS= read -r target; do
        to=${target%%/*}
        [ "$to" = "$from" ] && continue
        to_floor=$(floor "$to")
        if [ "$to_floor" -lt 0 ] || [ "$to_floor" -gt "$from_floor" ]; then
            echo "$file includes \"$target\" from a higher floor"; status=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z0-9_]*\/[^"]*\)".*/\1/p' "$file")
    case "$file" in
        src/api/* | src/cipher/seed.h) ;;
        *) grep -Eq '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]quilloncrypto\.h[>"]' "$file" &&
            { echo "$file includes \"quilloncrypto.h\" below the export layer"; status=1; } ;;
    esac
done < <(find src -name '*.h' -o -name '*.cpp')
[ $status -eq 0 ] && echo "include floors hold"
exit $status
