#!/usr/bin/env bash
# The registry differential test: Wine itself writes the values (wine reg add) into a throw-away
# prefix; then ReadRegString reads them through Wine's own registry functions (the oracle) and
# through our reading of the hive files (registry_diff), and the two must agree.
#
#   registry_diff.sh REGISTRY_ORACLE.EXE REGISTRY_DIFF WORK_DIR
set -euo pipefail
trap 'echo "registry_diff.sh: line $LINENO failed: $BASH_COMMAND" >&2' ERR
oracle=$1
reader=$2
work=$3

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
# The 64-bit view only: a 32-bit reader must not see these.
wine reg add "$gunship" /v Both /t REG_SZ /d 'sixty-four' /f >/dev/null
wine reg add 'HKLM\Software\Hasbro Interactive\Only64' /v Path /t REG_SZ /d 'C:\64' /f >/dev/null
wine reg add 'HKCU\Software\Kestrun Test' /v Name /t REG_SZ /d ' user value ' /f >/dev/null

queries="$work/queries.txt"
g='HKEY_LOCAL_MACHINE\Software\Hasbro Interactive\Gunship!'
{
  for v in Path Empty One Len254 Len255 Blanks Slashes Quotes Tabs Accent Euro Dword Zero \
           Binary Expand Multi Both Missing; do
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
} >"$queries"

wine "$oracle" "$(winpath "$queries")" "$(winpath "$work/windows.txt")"
# Wine writes the hives when its server ends: only then are the files what the oracle read.
wineserver -k || true
wineserver -w || true
"$reader" "$queries" "$work/windows.txt"
