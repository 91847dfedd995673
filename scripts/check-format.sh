#!/usr/bin/env bash
# Fails, naming each file, where the C++ sources differ from .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
