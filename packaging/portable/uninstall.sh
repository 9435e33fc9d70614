#!/usr/bin/env bash
# Takes Kestrun out of your desktop's menu: removes what install.sh made in ~/.local/share (or
# $XDG_DATA_HOME), as its record lists it: the files, the record, then the folders it made,
# innermost first, each only when it is empty. This folder stays; delete it yourself.
set -euo pipefail

[ -n "${HOME:-}" ] || { echo "uninstall.sh: HOME is not set" >&2; exit 1; }
data=${XDG_DATA_HOME:-}
[[ $data == /* ]] || data=$HOME/.local/share
record=$data/io.github.kestrun.Kestrun.installed
if [ ! -f "$record" ]; then
  echo "Kestrun is not in your menu: there is no $record"
  exit 0
fi

mapfile -t made <"$record"
for line in "${made[@]}"; do
  [[ $line != "file "* ]] || rm -f -- "${line#file }"
done
rm -f -- "$record"
for ((i = ${#made[@]} - 1; i >= 0; i--)); do
  line=${made[i]}
  [[ $line != "dir "* ]] || rmdir -- "${line#dir }" 2>/dev/null || true
done
echo "Kestrun is no longer in your menu"
