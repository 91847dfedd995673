#!/usr/bin/env bash
# Installs what building needs on Debian 12; with --tests also what the
# tests read (a mail server's tools and real-world message collections).
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
packages=(build-essential cmake pkg-config git
          qt6-base-dev libgl-dev libsqlite3-dev sqlite3
          libgmime-3.0-dev libetpan-dev qtkeychain-qt6-dev libbenchmark-dev fonts-dejavu-core python3
          libcurl4-gnutls-dev libgnutls28-dev nettle-dev)
if [ "${1:-}" = "--tests" ]; then
  packages+=(dovecot-core dovecot-imapd openssl libpython3.11-testsuite python3-flufl.bounce pandoc clang-format
            python3-aiosmtpd)
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${packages[@]}"
