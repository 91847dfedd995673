#!/usr/bin/env bash
# Installs, builds and starts the program on its defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build/bin/quillmar-setup
exec build/bin/quillmar
