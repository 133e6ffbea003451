#!/usr/bin/env bash
# Seeds the corpora of fuzz_crl and fuzz_trust_verify from the chain fixtures
# (tests/fixtures/make_chain.sh): each CRL as it is, and for the store a few pools of the
# certificates and CRLs framed as fuzz_trust_verify reads them. Files are named by their SHA-1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
chain=$here/../tests/fixtures/chain
seed() {  # seed CORPUS FILE
    mkdir -p "$here/corpus/$1"
    cp "$2" "$here/corpus/$1/$(sha1sum "$2" | cut -c1-40)"
}
for crl in "$chain"/*.crl; do seed crl "$crl"; done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# pool OUT FILE...: each item as a kind octet (0 trusted, 1 untrusted, 2 CRL, 3 the certificate to
# verify), a two-octet big-endian length, then the bytes.
pool() {
    local out=$1
    shift
    : >"$out"
    for item in "$@"; do
        local kind=${item%%:*} file=$chain/${item#*:}
        local n
        n=$(stat -c %s "$file")
        printf "\\x$(printf %02x "$kind")\\x$(printf %02x $((n >> 8)))\\x$(printf %02x $((n & 255)))" >>"$out"
        cat "$file" >>"$out"
    done
}
pool "$work/ok" 0:root.der 1:int1.der 1:int2.der 2:root.crl 2:int1.crl 2:int2.crl 3:ee_sha256.der
pool "$work/revoked" 0:root.der 1:int1.der 1:int2.der 2:int2.crl 3:ee_revoked.der
pool "$work/cross" 0:root.der 1:cross_a_by_b.der 1:cross_b_by_a.der 1:cross_b_by_int1.der 1:int1.der 3:ee_cross.der
pool "$work/deep" 0:root.der 1:int3.der 1:int2.der 1:int1.der 2:int2_delta.crl 3:ee_too_deep.der
for f in "$work"/*; do seed trust_verify "$f"; done
