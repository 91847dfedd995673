#!/usr/bin/env bash
# Regenerates the help document the program ships, docs/QMHelp.rtf, from its
# editable source docs/help.md. Commit both: the build copies the RTF beside
# the program and does not need pandoc.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v pandoc >/dev/null; then
  echo "make-help.sh: pandoc is needed (Debian package pandoc)" >&2
  exit 1
fi
pandoc -s -f markdown -t rtf docs/help.md -o docs/QMHelp.rtf
