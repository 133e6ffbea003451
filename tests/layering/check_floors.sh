#!/usr/bin/env bash
# Fails when a file under src/ includes from a higher floor: the exports sit on top, the
# allocator and guard at the ground, and arrows point down only.
set -u
cd "$1" || exit 2
floor() {
    case $1 in
        core) echo 0 ;; platform) echo 1 ;;
        bignum | asn1 | cipher) echo 2 ;;
        rsa | x509) echo 3 ;;
        exchange | pkcs | card) echo 4 ;;
        api) echo 5 ;;
        *) echo -1 ;;
    esac
}
status=0
for file in $(find src -name '*.h' -o -name '*.cpp'); do
    from=$(echo "$file" | cut -d/ -f2)
    from_floor=$(floor "$from")
    if [ "$from_floor" -lt 0 ]; then
        echo "$file: folder '$from' has no floor"; status=1; continue
    fi
    while IFS= read -r target; do
        to=${target%%/*}
        to_floor=$(floor "$to")
        if [ "$to_floor" -lt 0 ] || [ "$to_floor" -gt "$from_floor" ]; then
            echo "$file includes \"$target\" from a higher floor"; status=1
        fi
    done < <(sed -n 's/^#include "\([a-z0-9_]*\/[^"]*\)".*/\1/p' "$file")
done
[ $status -eq 0 ] && echo "include floors hold"
exit $status
