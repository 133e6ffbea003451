#!/usr/bin/env bash
# Makes the demo's built-in credentials: a user certificate (DER) issued by a throwaway demo CA,
# and its private key as a password-protected PKCS#8 file (PBES2, PBKDF2-HMAC-SHA1, SEED-CBC),
# laid out as a PC keeps them: signCert.der and signPri.key. Password: "quillon-demo".
# Rerunning makes new keys; the committed outputs are what the demo ships.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" -days 3650 \
    -subj "/C=KR/O=Quillon Demo/OU=Demo CA/CN=Quillon Demo Root" -set_serial 1 2>/dev/null
openssl genrsa -out "$work/user.key" 2048 2>/dev/null
openssl req -new -key "$work/user.key" -out "$work/user.csr" -utf8 \
    -subj "/C=KR/O=Quillon Demo/OU=personal/CN=홍길동()0001041234567890" 2>/dev/null
cat > "$work/ext.cnf" <<'CNF'
keyUsage = critical, digitalSignature, nonRepudiation
basicConstraints = CA:FALSE
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
openssl x509 -req -in "$work/user.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -set_serial 0x1A2B3C4D \
    -days 365 -sha256 -extfile "$work/ext.cnf" -outform DER -out signCert.der 2>/dev/null
openssl pkcs8 -topk8 -in "$work/user.key" -outform DER -out signPri.key -v2 seed-cbc -v2prf hmacWithSHA1 \
    -iter 2048 -passout pass:quillon-demo -provider legacy -provider default
echo "signCert.der: $(stat -c %s signCert.der) bytes, signPri.key: $(stat -c %s signPri.key) bytes"
