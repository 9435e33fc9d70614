#!/usr/bin/env bash
# The registry differential test: Wine itself writes the values (wine reg add) into a throw-away
# prefix; then ReadRegString reads them through Wine's own registry functions (the oracle) and
# through our reading of the hive files (registry_diff), and the two must agree.
#
#   registry_diff.sh REGISTRY_ORACLE.EXE REGISTRY_DIFF WORK_DIR [REGISTRY_ORACLE32.EXE|-]
#
# The 64-bit oracle asks for the 32-bit view (KEY_WOW64_32KEY); the 32-bit oracle is a 32-bit
# program, as the game is, and also answers the queries where the two differ (classes shared
# between the views). Without a 32-bit oracle or a Wine that runs it, those queries are skipped,
# saying so.
set -euo pipefail
trap 'echo "registry_diff.sh: line $LINENO failed: $BASH_COMMAND" >&2' ERR
oracle=$1
reader=$2
work=$3
oracle32=${4:--}

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The command lines carry é and €: Wine turns them into UTF-16 from the locale's encoding.
export LC_ALL=C.UTF-8

winpath() { echo "Z:${1//\//\\}"; }

wineboot --init >/dev/null 2>&1
wineserver -w  # the new prefix is whole only once its first server has finished
wineserver -p 30 2>/dev/null || true  # one server for all the reg commands below

gunship='HKLM\Software\Hasbro Interactive\Gunship!'
add32() { wine reg add "$gunship" /reg:32 /f "$@" >/dev/null; }

a254=$(printf 'a%.0s' $(seq 254))
b255=$(printf 'b%.0s' $(seq 255))
add32 /v Path /t REG_SZ /d 'C:\Gunship!'
add32 /v Empty /t REG_SZ /d ''
add32 /v One /t REG_SZ /d 'x'
add32 /v Len254 /t REG_SZ /d "$a254"
add32 /v Len255 /t REG_SZ /d "$b255"
add32 /v Blanks /t REG_SZ /d '  C:\Games\Gunship!  '
add32 /v Slashes /t REG_SZ /d 'C:\\Games\Gunship!\\x'
add32 /v Quotes /t REG_SZ /d 'say "hi" and '"'"'bye'"'"
add32 /v Tabs /t REG_SZ /d $'\tC:\\G\t'
add32 /v Accent /t REG_SZ /d 'Café'
add32 /v Euro /t REG_SZ /d '€5'
add32 /v Dword /t REG_DWORD /d 49
add32 /v Zero /t REG_DWORD /d 0
add32 /v Binary /t REG_BINARY /d 4142430044
add32 /v Expand /t REG_EXPAND_SZ /d '%WINDIR%\x'
add32 /v Multi /t REG_MULTI_SZ /d 'first\0second'
add32 /ve /t REG_SZ /d 'the default'
add32 /v Both /t REG_SZ /d 'thirty-two'
# The 64-bit view only: a 32-bit reader must not see these. (/reg:64: where 32-bit Wine is
# installed, `wine reg` is the 32-bit reg.exe, which writes the 32-bit view by default.)
wine reg add "$gunship" /v Both /t REG_SZ /d 'sixty-four' /reg:64 /f >/dev/null
wine reg add 'HKLM\Software\Hasbro Interactive\Only64' /v Path /t REG_SZ /d 'C:\64' /reg:64 /f \
  >/dev/null
wine reg add 'HKCU\Software\Kestrun Test' /v Name /t REG_SZ /d ' user value ' /f >/dev/null
wine reg add 'HKU\.Default\Software\Kestrun Test' /v Name /t REG_SZ /d 'default user' /f >/dev/null
# Sizes count cp1252 bytes: 253 letters and é fit a 255-byte buffer with their NUL, 254 do not.
add32 /v E253 /t REG_SZ /d "${a254:1}é"
add32 /v E254 /t REG_SZ /d "${a254}é"
# Classes: one stored below Classes\Wow6432Node (the 32-bit view's own), one shared 64-bit key,
# one 64-bit key below CLSID, which has its 32-bit counterpart.
wine reg add 'HKLM\Software\Classes\Wow6432Node\Kestrun32' /reg:64 /ve /d 'thirty-two class' /f >/dev/null
wine reg add 'HKLM\Software\Classes\GunshipFile' /reg:64 /ve /d 'shared class' /f >/dev/null
wine reg add 'HKLM\Software\Classes\CLSID\{6A1F7B9E-0000-4B1D-9D3E-6B6573747275}' /reg:64 \
  /ve /d 'sixty-four class' /f >/dev/null

queries="$work/queries.txt"
g='HKEY_LOCAL_MACHINE\Software\Hasbro Interactive\Gunship!'
{
  for v in Path Empty One Len254 Len255 E253 E254 Blanks Slashes Quotes Tabs Accent Euro Dword \
           Zero Binary Expand Multi Both Missing; do
    printf '%s\t%s\n' "$g" "$v"
  done
  printf '%s\t\n' "$g"                                          # the default value
  printf '%s\t%s\n' 'HKEY_LOCAL_MACHINE\SOFTWARE\HASBRO INTERACTIVE\GUNSHIP!' path
  printf '%s\t%s\n' 'HKEY_LOCAL_MACHINE\Software\Wow6432Node\Hasbro Interactive\Gunship!' Path
  printf '%s\t%s\n' 'HKEY_LOCAL_MACHINE\Software\\Hasbro Interactive\Gunship!' Path
  printf '%s\t%s\n' 'HKEY_LOCAL_MACHINE\\Software\Hasbro Interactive\Gunship!' Path
  printf '%s\t%s\n' 'HKEY_LOCAL_MACHINE\Software\Hasbro Interactive\Only64' Path
  printf '%s\t%s\n' 'HKEY_LOCAL_MACHINE\Software\Hasbro Interactive\Missing' Path
  printf '%s\t%s\n' 'HKEY_LOCAL_MACHINE\Software\Hasbro Interactive' Path
  printf '%s\t%s\n' 'HKEY_CURRENT_USER\Software\Kestrun Test' Name
  printf '%s\t%s\n' 'HKEY_LOCAL_MACHINE' Path
  printf '%s\t%s\n' 'HKEY_LOCAL_MACHINE\Software\Hasbro Interactive\Gunship!\' Path
  printf '%s\t%s\n' 'HKEY_NOWHERE\Software' Path
  printf '%s\t%s\n' 'hkey_local_machine\Software\Hasbro Interactive\Gunship!' Path
  printf '%s\t%s\n' 'HKEY_USERS\S-1-5-21-0-0-0-1000\Software\Kestrun Test' Name
  printf '%s\t%s\n' 'HKEY_USERS\.Default\Software\Kestrun Test' Name
  printf '%s\t%s\n' 'HKEY_USERS\\.Default\Software\Kestrun Test' Name
  printf '%s\t\n' 'HKEY_CLASSES_ROOT\Kestrun32'
  printf '%s\t\n' 'HKEY_CLASSES_ROOT\\Kestrun32'                  # one backslash skipped
  printf '%s\t\n' 'HKEY_CLASSES_ROOT\\\Kestrun32'
  printf '%s\t\n' 'HKEY_LOCAL_MACHINE\Software\Classes\Kestrun32'
} >"$queries"
# What only a 32-bit program sees as Windows does: classes shared between the views.
queries32="$work/queries32.txt"
{
  cat "$queries"
  printf '%s\t\n' 'HKEY_CLASSES_ROOT\GunshipFile'
  printf '%s\t\n' 'HKEY_CLASSES_ROOT\\GunshipFile'
  printf '%s\t\n' 'HKEY_LOCAL_MACHINE\Software\Classes\GunshipFile'
  printf '%s\t\n' 'HKEY_CLASSES_ROOT\CLSID\{6A1F7B9E-0000-4B1D-9D3E-6B6573747275}'
  printf '%s\t\n' 'HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{6A1F7B9E-0000-4B1D-9D3E-6B6573747275}'
} >"$queries32"

wine "$oracle" "$(winpath "$queries")" "$(winpath "$work/windows.txt")"
with32=
if [ "$oracle32" = - ]; then
  echo "registry_diff.sh: no 32-bit oracle (i686-w64-mingw32-g++): the 32-bit queries are skipped"
elif ! wine "$oracle32" --probe >/dev/null 2>&1; then
  echo "registry_diff.sh: this Wine runs no 32-bit program (no wine32, or a kernel that" \
    "executes none): the 32-bit queries are skipped"
else
  wine "$oracle32" "$(winpath "$queries32")" "$(winpath "$work/windows32.txt")"
  with32=1
fi
# Wine writes the hives when its server ends: only then are the files what the oracles read.
wineserver -k || true
wineserver -w || true
echo "== the 64-bit oracle (KEY_WOW64_32KEY)"
"$reader" "$queries" "$work/windows.txt"
if [ -n "$with32" ]; then
  echo "== the 32-bit oracle"
  "$reader" "$queries32" "$work/windows32.txt"
fi
