#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs the consumer project
# against it twice (find_package, pkg-config) and imports the Python package pip installed from
# python/, finding the library on the loader path.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR [PYTHON]
set -euo pipefail
build=$1 source=$2 python=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libquilloncrypto.so' | head -1)")
for f in "$prefix/include/quilloncrypto.h" "$prefix/bin/quillon" "$libdir/pkgconfig/quilloncrypto.pc" \
         "$libdir/cmake/QuillonCrypto/QuillonCryptoConfig.cmake"; do
    [ -e "$f" ] || { echo "missing after install: $f"; exit 1; }
done
soname=$(readelf -d "$libdir/libquilloncrypto.so" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
[ "$soname" = libquilloncrypto.so.0 ] || { echo "SONAME is '$soname'"; exit 1; }

echo "--- find_package"
cmake -S "$source/tests/consumer" -B "$work/by-cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/by-cmake" >/dev/null
"$work/by-cmake/consumer"
[[ "$(ldd "$work/by-cmake/consumer")" == *"$prefix"* ]] || { echo "consumer did not load the installed library"; exit 1; }

echo "--- pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
cc -o "$work/by-pkgconfig" "$source/tests/consumer/main.c" $(pkg-config --cflags --libs quilloncrypto)
LD_LIBRARY_PATH=$libdir "$work/by-pkgconfig"

if [ -n "$python" ]; then
    echo "--- Python package"
    # A copy, so the build leaves nothing behind in the source tree.
    cp -r "$source/python" "$work/python-src"
    "$python" -m pip install --quiet --no-build-isolation --no-deps --no-cache-dir --root-user-action=ignore --target "$work/site" \
        "$work/python-src"
    (cd "$work" && env -u QUILLONCRYPTO_LIBRARY PYTHONPATH="$work/site" LD_LIBRARY_PATH="$libdir" "$python" -c \
        'import quilloncrypto as q; assert q.base64_decode(q.base64_encode(b"ok")) == b"ok"; print("python: OK", q.library_path())')
fi
