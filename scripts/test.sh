#!/usr/bin/env bash
# Installs what is missing, builds from scratch and runs every test:
# unit, property, widget, end-to-end and install tests, each fuzzer for 30
# seconds, and the library's tests on its Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh --fresh
scripts/build-windows.sh --test --fresh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
