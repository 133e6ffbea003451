#!/usr/bin/env bash
# Builds the Debian package set, installs it with dpkg, runs the installed tool and a consumer
# built from the installed files, then removes the packages and checks that nothing is left.
# Runs only as root (CI); exits 77 (skipped) elsewhere or when the packages are already installed,
# so a developer's own installation is never replaced or removed.
# Usage: deb_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
packages=(libquilloncrypto0 libquilloncrypto-dev quillon)
[ "$(id -u)" -eq 0 ] || { echo "not root: skipped"; exit 77; }
for p in "${packages[@]}"; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        echo "$p is already installed: skipped"; exit 77
    fi
done

work=$(mktemp -d)
exec 9>/tmp/quilloncrypto-deb-test.lock
flock 9   # one dpkg run at a time on a shared machine
cleanup() {
    dpkg -P "${packages[@]}" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/debs" >/dev/null)
debs=()
for p in "${packages[@]}"; do
    deb=$(ls "$work"/debs/"${p}"_*.deb)
    [ "$(dpkg-deb --field "$deb" Package)" = "$p" ] || { echo "bad package $deb"; exit 1; }
    debs+=("$deb")
done
[[ "$(dpkg-deb --contents "${debs[0]}")" == *"libquilloncrypto.so.0 -> "* ]] || { echo "runtime lacks the SONAME link"; exit 1; }
dpkg -i "${debs[@]}"

/usr/bin/quillon demo | tail -1
cc -o "$work/consumer" "$source/tests/consumer/main.c" $(pkg-config --cflags --libs quilloncrypto)
"$work/consumer"

dpkg -r "${packages[@]}"
dpkg -P "${packages[@]}"   # the maintainer scripts' record (ldconfig) goes with the purge
for p in "${packages[@]}"; do
    ! dpkg-query -W "$p" >/dev/null 2>&1 || { echo "$p still known to dpkg"; exit 1; }
done
for f in /usr/bin/quillon /usr/include/quilloncrypto.h; do
    [ ! -e "$f" ] || { echo "left behind after removal: $f"; exit 1; }
done
if ls /usr/lib/libquilloncrypto* /usr/lib/*/libquilloncrypto* 2>/dev/null; then
    echo "library left behind after removal"; exit 1
fi
echo "deb: OK"
