#!/usr/bin/env bash
# Installs what building and testing need on Debian 12.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake pkg-config git \
  qt6-base-dev libgl-dev libsqlite3-dev sqlite3 \
  libgmime-3.0-dev libbenchmark-dev fonts-dejavu-core python3
