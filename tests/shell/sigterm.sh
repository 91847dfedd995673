#!/bin/sh
# The program ended by SIGTERM, as at log-out, closes as its window's close
# does: exit status 0, the log written, no journal left behind.
# Arguments: the program's folder, the tool that makes an empty list file.
set -eu
bin=$1
d=$(mktemp -d)
trap 'rm -rf "$d"' EXIT
cp "$bin/quillmar" "$bin/libmapi32.so" "$d/"
"$2" "$d/mailist.DAT"
mkdir -p "$d/home" "$d/config"
HOME=$d/home XDG_CONFIG_HOME=$d/config QT_QPA_PLATFORM=offscreen "$d/quillmar" &
pid=$!
# Up once it holds the list open.
tries=0
until [ -e "$d/mailist.DAT-wal" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 300 ]; then echo "the program did not open its list"; kill -9 "$pid"; exit 1; fi
  sleep 0.1
done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
if [ "$status" -ne 0 ]; then echo "exit status $status after SIGTERM"; exit 1; fi
if [ ! -e "$d/log.txt" ]; then echo "log.txt was not written"; exit 1; fi
for j in "$d"/*.journal; do
  if [ -e "$j" ]; then echo "left behind: $j"; exit 1; fi
done
