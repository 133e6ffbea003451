#!/usr/bin/env bash
# The floor check itself: it passes a tree whose includes point down and fails one with an
# upward include, a cycle between two folders, a folder it does not know, or the public header
# included below the export layer.
# usage: check_floors_test.sh <check_floors.sh>
set -u
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
plant() {  # plant <file> <include>...
    mkdir -p "$tree/src/$(dirname "$1")"
    local file=$tree/src/$1; shift
    : >"$file"
    for target in "$@"; do echo "#include \"$target\"" >>"$file"; done
}
expect() {  # expect <pass|fail> <what>
    if bash "$check" "$tree" >/dev/null; then got=pass; else got=fail; fi
    [ "$got" = "$1" ] || { echo "FAIL: $2 gave $got"; exit 1; }
    echo "ok: $2"
}
plant core/mem.h
plant cipher/sha1.h "core/mem.h" "asn1/der.h"
plant asn1/der.h "core/mem.h" "cipher/unused.h"
plant api/x.cpp "cipher/sha1.h" "quilloncrypto.h"
expect fail "asn1 and cipher including each other"
plant asn1/der.h "core/mem.h"
expect pass "includes pointing down"
plant x509/x509_cert.cpp "pkcs/pkcs8.h"
expect fail "an upward include"
rm -r "$tree/src/x509"
plant cipher/seed.h "core/mem.h" "quilloncrypto.h"
expect pass "the public header in cipher/seed.h"
plant pkcs/prikey.h "core/mem.h" "quilloncrypto.h"
expect fail "the public header below the export layer"
rm -r "$tree/src/pkcs"
plant gadgets/thing.h "core/mem.h"
expect fail "a folder without a floor"
