#!/usr/bin/env bash
# Installs what is missing, builds from scratch and runs every test:
# unit, property, widget and end-to-end tests, and each fuzzer for 30 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh --fresh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
