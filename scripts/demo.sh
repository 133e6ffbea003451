#!/usr/bin/env bash
# Builds the library and the quillon tool, then runs the certificate-exchange demo.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillon_install_deps
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target quillon -j "$(nproc)" >/dev/null
exec build/release/quillon demo "$@"
