#!/usr/bin/env bash
# Builds the library and runs the certificate-exchange demo.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillon_install_deps
echo "The certificate-exchange demo (quillon demo) is not built yet: the exchange session is still in progress."
echo "Building the library meanwhile:"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target quilloncrypto
