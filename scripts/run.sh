#!/usr/bin/env bash
# Installs what building needs, builds the program alone (no tests, no
# benchmarks), installs it into its program folder and starts it from there.
# The list, the rule lists and the log live in that folder, so a new build,
# or deleting build/, leaves them alone.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix="$HOME/.local/lib/quillmar"
bash scripts/install-deps.sh
bash scripts/build.sh -DQUILLMAR_TESTS=OFF -DQUILLMAR_BENCH=OFF
cmake --install build --prefix "$prefix"
"$prefix/quillmar-setup"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "Installed in $prefix, but there is no graphical display to show the window on." >&2
  echo "From a desktop session start it with: $prefix/quillmar" >&2
  exit 1
fi
exec "$prefix/quillmar"
