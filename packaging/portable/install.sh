#!/usr/bin/env bash
# Adds Kestrun to your desktop's menu: copies its desktop entry, icon and AppStream metainfo into
# ~/.local/share (or $XDG_DATA_HOME), the entry starting the kestrun in this folder. Needs no
# root and writes nothing outside your home. Run it again after moving this folder;
# uninstall.sh takes away everything it made.
#
# What it made is listed in $XDG_DATA_HOME/io.github.kestrun.Kestrun.installed, one "file PATH"
# or "dir PATH" a line, folders in the order they were made: the three files, and the folders
# that did not exist before. A file of the same name that it did not make is never replaced.
set -euo pipefail

fail() {
  echo "install.sh: $*" >&2
  exit 1
}

[ -n "${HOME:-}" ] || fail "HOME is not set"
here=$(cd "$(dirname "$0")" && pwd -P)
data=${XDG_DATA_HOME:-}
[[ $data == /* ]] || data=$HOME/.local/share # the default, also for a relative XDG_DATA_HOME
[[ $here$data != *$'\n'* ]] ||
  fail "a folder's path holds a line break, which a menu entry cannot name"
# A literal % is written %% in a menu entry, but GNOME's launcher looks for the program before
# it reads %%, and finds none.
[[ $here != *%* ]] ||
  fail "$here holds a %, from which desktop menus cannot start a program; move the folder" \
    "and run install.sh again"
id=io.github.kestrun.Kestrun
record=$data/$id.installed
targets=("applications/$id.desktop" icons/hicolor/scalable/apps/kestrun.svg
         "metainfo/$id.metainfo.xml")

made=()
if [ -f "$record" ]; then
  mapfile -t made <"$record"
fi
recorded() {
  local line
  for line in "${made[@]}"; do
    [ "$line" != "$1" ] || return 0
  done
  return 1
}
for target in "${targets[@]}"; do
  if [ -e "$data/$target" ] && ! recorded "file $data/$target"; then
    fail "$data/$target is not from this install.sh; move it away and run install.sh again"
  fi
done

# make_dir DIR: makes DIR and the parents it lacks, outermost first, and records each.
make_dir() {
  [ ! -d "$1" ] || return 0
  make_dir "$(dirname "$1")"
  mkdir "$1"
  made+=("dir $1")
}
make_dir "$data"
for target in "${targets[@]}"; do
  make_dir "$(dirname "$data/$target")"
  recorded "file $data/$target" || made+=("file $data/$target")
done
# The record comes before the files, so that uninstall.sh finds whatever a failed run left.
printf '%s\n' "${made[@]}" >"$record"

# The entry starts this folder's program. In Exec the path is quoted: ", `, $ and \ escaped with
# a \, and then, as in every value of the file, each \ doubled. TryExec (a plain value) hides
# the entry once this folder is gone.
program=$here/kestrun
quoted=${program//\\/\\\\}
quoted=${quoted//\"/\\\"}
quoted=${quoted//\`/\\\`}
quoted=${quoted//\$/\\\$}
quoted=\"${quoted//\\/\\\\}\"
group=""
while IFS= read -r line; do
  [[ $line != \[*\] ]] || group=$line
  if [ "$group" = "[Desktop Entry]" ] && [[ $line == Exec=* ]]; then
    printf 'Exec=%s\nTryExec=%s\n' "$quoted" "${program//\\/\\\\}"
  elif [ "$group" != "[Desktop Entry]" ] || [[ $line != TryExec=* ]]; then
    printf '%s\n' "$line"
  fi
done <"$here/share/applications/$id.desktop" >"$data/${targets[0]}"
for target in "${targets[@]:1}"; do
  cp "$here/share/$target" "$data/$target"
done
echo "Kestrun is in your menu: $data/${targets[0]} starts $program"
