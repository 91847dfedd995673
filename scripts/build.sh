#!/usr/bin/env bash
# Configures and builds into build/ (the program lands in build/bin/); extra
# arguments go to the configuration, e.g. -DQUILLMAR_TESTS=OFF.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build -j"$(nproc)"
