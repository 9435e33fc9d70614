#!/usr/bin/env bash
# The installer as a Windows player meets it, in the test prefix (WINEPREFIX, its own arch):
# msiexec installs per machine, the program and its Start-menu shortcut are there with an
# uninstall entry; the installed program starts with the game installed (the demo's profile, the
# installer's registry entry) and shows its window, at 96 and at 144 DPI (LogPixels), its client
# area 4335 x 3735 twips; msiexec /x takes every file, the shortcut and the entry away again.
# The portable ZIP beside the MSI holds the same program, README and licence. Needs an X display
# (xvfb-run). With KESTRUN_SHOTS set, saves the window at each DPI as a PNG there.
#   msi_cycle.sh PACKAGE-BASE     e.g. build-win64/kestrun-1.0.0-x64
set -euo pipefail
trap 'echo "msi_cycle.sh: line $LINENO failed: $BASH_COMMAND" >&2' ERR
base=$1
shots=${KESTRUN_SHOTS:-}
msi=$base.msi
: "${WINEPREFIX:?the test prefix}"
export WINEDEBUG=-all

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
winpath() { echo "Z:${1//\//\\}"; }

product=$(msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')
uninstall="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
folder="$WINEPREFIX/drive_c/Program Files/Kestrun"
shortcuts() {
  find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Kestrun.lnk' 2>/dev/null || true
}
# The 64-bit view in a 64-bit prefix: `wine reg` may be the 32-bit reg.exe where 32-bit Wine is.
view=()
if grep -q '^#arch=win64' "$WINEPREFIX/system.reg"; then view=(/reg:64); fi
entry() {
  wine reg query "$uninstall" /v DisplayName "${view[@]}" 2>/dev/null | tr -d '\r' | grep -c Kestrun
}
desktop="HKCU\\Control Panel\\Desktop"
original_dpi=$(wine reg query "$desktop" /v LogPixels 2>/dev/null | tr -d '\r' |
  awk '$1 == "LogPixels" { print $3 }' || true)
# The game as its installer leaves it: the folder with its profile, its path in the registry's
# 32-bit view. Taken away again at the end, with the DPI.
game="$WINEPREFIX/drive_c/Gunship!"
gunship='HKLM\Software\Hasbro Interactive'
[ ! -e "$game" ] || fail "$game is there before the test"
cleanup() {
  if [ -n "$original_dpi" ]; then
    wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$((original_dpi))" /f >/dev/null
  else
    wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1 || true
  fi
  rm -rf "$game"
  wine reg delete "$gunship" /reg:32 /f >/dev/null 2>&1 || true
}
trap cleanup EXIT
mkdir -p "$game/data"
sed 's/\r*$/\r/' "$(dirname "$0")/../../scripts/demo-data/custom.ini" >"$game/data/custom.ini"
printf 'not a program\r\n' >"$game/gunship.exe"
wine reg add "$gunship\Gunship!" /v Path /t REG_SZ /d 'C:\Gunship!' /reg:32 /f >/dev/null

wine msiexec /i "$(winpath "$msi")" /qn || fail "msiexec /i exited with $?"
for f in kestrun.exe README.txt LICENSE.txt; do
  [ -f "$folder/$f" ] || fail "$f was not installed into Program Files\\Kestrun"
done
python3 - "$base.zip" "$folder/kestrun.exe" <<'PY' || fail "the ZIP and the MSI differ"
import sys, zipfile
def program(data):  # less the time stamp and checksum that each strip of the program writes
    data, pe = bytearray(data), int.from_bytes(data[0x3C:0x40], "little")
    data[pe + 8:pe + 12] = data[pe + 88:pe + 92] = bytes(4)
    return data
archive = zipfile.ZipFile(sys.argv[1])
names = {n.split("/", 1)[-1]: n for n in archive.namelist()}
missing = {"kestrun.exe", "README.txt", "LICENSE.txt"} - set(names)
if missing:
    sys.exit(f"the ZIP lacks {sorted(missing)}")
if program(archive.read(names["kestrun.exe"])) != program(open(sys.argv[2], "rb").read()):
    sys.exit("the MSI installs another kestrun.exe than the ZIP holds")
PY
link=$(shortcuts)
[ -n "$link" ] || fail "no Start-menu shortcut"
grep -qai 'kestrun.exe' "$link" || fail "the shortcut does not point to kestrun.exe"
[ "$(entry)" = 1 ] || fail "no uninstall entry $uninstall"

# Starts the installed program at a DPI and waits for its window; checks the window's size.
for dpi in 96 144; do
  wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  wine "C:\\Program Files\\Kestrun\\kestrun.exe" &
  program=$!
  window=""
  for _ in $(seq 150); do
    window=$(xwininfo -root -tree | awk '/"Kestrun": \(/ { print $1; exit }')
    [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || fail "the installed program showed no window at $dpi DPI"
  sleep 1  # let it paint
  size=$(xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
  want="$(( (4335 * dpi + 720) / 1440 ))x$(( (3735 * dpi + 720) / 1440 ))"
  if [ -n "$shots" ]; then
    mkdir -p "$shots"
    xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$shots/$(basename "$base")-${dpi}dpi.png"
  fi
  kill "$program"
  wait "$program" 2>/dev/null || true
  [ "$size" = "$want" ] || fail "window of $size at $dpi DPI, want the client area $want"
done

wine msiexec /x "$(winpath "$msi")" /qn || fail "msiexec /x exited with $?"
[ ! -e "$folder/kestrun.exe" ] || fail "kestrun.exe is still there after msiexec /x"
left=$( (find "$folder" -type f 2>/dev/null || true) | wc -l)
[ "$left" = 0 ] || fail "$left files left in Program Files\\Kestrun"
[ -z "$(shortcuts)" ] || fail "the Start-menu shortcut is still there"
[ "$(entry)" = 0 ] || fail "the uninstall entry is still there"
echo "msi_cycle: $(basename "$msi") installed, started at 96 and 144 DPI, removed"
