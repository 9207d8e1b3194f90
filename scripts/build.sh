#!/usr/bin/env bash
# Configures and builds everything into build/ (pass --fresh to start clean).
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ "${1:-}" == "--fresh" ]]; then rm -rf build; fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZARNI_FUZZ=ON
cmake --build build -j"$(nproc)"
