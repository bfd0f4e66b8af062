#!/usr/bin/env bash
# The Windows setup and uninstaller under Wine: an unattended install of a test
# script into a temporary folder (files, INI value, registry values of the
# three types, shortcut, program, the uninstall log key by key, the uninstall
# entry), the uninstaller removing all of it, the wizard walked page by page
# under Xvfb, and the assembled pack installing and uninstalling cleanly.
# The photographs of the wizard's pages are kept in SHOTS_DIR.
# Usage: wine_setup_test.sh SETUP.EXE UNINSTALL.EXE WIZARD_DRIVER.EXE PACK_DIR WINE_RUN SHOTS_DIR
set -u
SETUP=$1 UNINSTALL=$2 DRIVER=$3 PACK=$4 WINE_RUN=$5 SHOTS=$6
WORK=$(mktemp -d /tmp/vx-setup-wine.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { printf 'Z:%s' "$1" | tr / '\\'; }
wine_run() { bash "$WINE_RUN" "$@"; }

inst=$WORK/installer
mkdir -p "$inst/files/sub"
cp "$SETUP" "$inst/setup.exe"
cp "$UNINSTALL" "$inst/setup.dat"
echo a >"$inst/files/sub/a.txt"
echo single >"$inst/single.txt"
printf 'echo ran> ran.txt\r\n' >"$inst/marker.bat"
{
  printf '[language]\n'
  for n in $(seq 1 36); do printf '%s=T%s\n' "$n" "$n"; done
} >"$inst/English.eil"
cat >"$inst/setup.ei1" <<'INI'
[setup1]
AppName=Wine Setup Test 1.0
WindowName=Wine Setup Test
LinkName=Vex
Site=http://example.org/
DestFolder=%Temp%vx-never-used
SourceFolder=%Installer%files
CreateUninst=1
RegUninst=1
OthCount=1
IniCount=1
RegCount=3
LnkCount=1
ExeCount=1
[Oth1]
Source=%Installer%single.txt
Dest=%Dest%\docs\settings.ini
[Ini1]
File=%Dest%\docs\settings.ini
Section=Paths
Value=Home
Data=%Dest%
[Reg1]
Root=HKEY_CURRENT_USER
Key=Software\VexSetupTest
Value=Text
Data=%Dest%
[Reg2]
Root=HKEY_CURRENT_USER
Key=Software\VexSetupTest
Value=Number
Type=1
Data=42
[Reg3]
Root=hkey_current_user
Key=Software\VexSetupTest
Value=Bytes
Type=2
Data=AB
[Lnk1]
LinkName=%Dest%\Single.lnk
FileName=%Dest%\docs\settings.ini
WorkFolder=%Dest%
[Exe1]
File=%Installer%marker.bat
Wait=1
[un_exe]
Count=1
exe1=cmd.exe /c del "%Dest%\ran-by-uninstall.txt"
INI
entry='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Wine_Setup_Test_1_0'
printf 'reg query HKCU\\Software\\VexSetupTest\r\nreg query %s\r\n' "$entry" >"$WORK/query.bat"

# ---------------------------------------------------------------- unattended install
dest=$WORK/dest
D=$(win "$dest")
wine_run "$inst/setup.exe" /SILENT /LANG=English "/DIR=$D" >"$WORK/out" 2>&1 ||
  fail "setup exited $?: $(cat "$WORK/out")"
[ "$(cat "$dest/sub/a.txt" 2>/dev/null)" = a ] || fail "tree file missing"
[ "$(head -1 "$dest/docs/settings.ini" 2>/dev/null | tr -d '\r')" = single ] || fail "single file missing"
[ -s "$dest/Single.lnk" ] || fail "shortcut missing"
[ -f "$dest/Uninstall.exe" ] || fail "Uninstall.exe missing"
[ -f "$inst/ran.txt" ] || fail "the program did not run"
grep -qF "Home=$D" "$dest/docs/settings.ini" 2>/dev/null || fail "INI value: $(cat "$dest/docs/settings.ini")"
crlf() { printf '%s\r\n' "$@"; }
crlf '[folders]' "1=$D\\sub" 'Count=1' '[files]' "1=$D\\sub\\a.txt" "2=$D\\docs\\settings.ini" \
    "3=$D\\Single.lnk" 'Count=3' \
    '[Reg1]' 'Root=HKEY_CURRENT_USER' 'Key=Software\VexSetupTest' 'Value=Text' \
    '[Reg2]' 'Root=HKEY_CURRENT_USER' 'Key=Software\VexSetupTest' 'Value=Number' \
    '[Reg3]' 'Root=hkey_current_user' 'Key=Software\VexSetupTest' 'Value=Bytes' \
    '[uninstall]' 'RegCount=3' 'LinkText=Vex' 'LinkUrl=http://example.org/' \
    'AppName=Wine Setup Test 1.0' '[Ocx]' 'Count=0' '[language]' \
    '1=T30' '2=T31' '3=T32' '4=T33' '5=T34' '6=T35' '7=T36' '[exe]' 'Count=1' \
    "exe1=cmd.exe /c del \"$D\\ran-by-uninstall.txt\"" >"$WORK/expected.ini"
cmp -s "$WORK/expected.ini" "$dest/Uninstall.ini" ||
  fail "Uninstall.ini differs: $(diff "$WORK/expected.ini" "$dest/Uninstall.ini")"

wine_run cmd /c "$(win "$WORK/query.bat")" >"$WORK/reg" 2>&1
grep -Eq 'Text +REG_SZ +Z:' "$WORK/reg" || fail "string value: $(cat "$WORK/reg")"
grep -Eq 'Number +REG_DWORD +0x2a' "$WORK/reg" || fail "number value"
grep -Eq 'Bytes +REG_BINARY +4142' "$WORK/reg" || fail "binary value"
grep -Eq 'DisplayName +REG_SZ +Wine Setup Test 1.0' "$WORK/reg" || fail "uninstall entry"
grep -Eq 'UninstallString +REG_SZ +Z:.*\\Uninstall.exe' "$WORK/reg" || fail "uninstall command"

# ---------------------------------------------------------------- the uninstaller
touch "$dest/ran-by-uninstall.txt"
wine_run "$dest/Uninstall.exe" /SILENT >"$WORK/out" 2>&1 || fail "uninstall exited $?: $(cat "$WORK/out")"
[ -e "$dest" ] && fail "left behind: $(find "$dest")"
wine_run cmd /c "$(win "$WORK/query.bat")" >"$WORK/reg" 2>&1
grep -Eq 'Number|DisplayName' "$WORK/reg" && fail "registry values left: $(cat "$WORK/reg")"

# ---------------------------------------------------------------- the wizard
wdest=$WORK/wizard-dest
rm -rf "$SHOTS" && mkdir -p "$SHOTS"
VEX_WINE_X=1 wine_run "$DRIVER" "$(win "$inst/setup.exe")" "$(win "$wdest")" "Wine Setup Test" \
  "$(win "$SHOTS")" >"$WORK/out" 2>&1 || fail "wizard walk: $(cat "$WORK/out")"
for page in 1-language 2-welcome 3-licence 4-destination 6-finish; do
  [ -s "$SHOTS/$page.bmp" ] || fail "no photograph of the $page page"
done
echo "wizard photographs: $SHOTS"
[ -f "$wdest/sub/a.txt" ] && [ -f "$wdest/Uninstall.ini" ] || fail "the wizard did not install"
[ -f "$wdest/Uninstall.exe" ] && wine_run "$wdest/Uninstall.exe" /SILENT >/dev/null 2>&1

# ---------------------------------------------------------------- the pack
if [ -f "$PACK/setup.exe" ]; then
  pdest=$WORK/pack-dest
  wine_run "$PACK/setup.exe" /SILENT "/DIR=$(win "$pdest")" >"$WORK/out" 2>&1 ||
    fail "pack setup exited $?: $(cat "$WORK/out")"
  [ -f "$pdest/VexEffects.fex" ] || fail "pack: VexEffects.fex missing"
  [ -f "$pdest/XML/VXETransform.xml" ] || fail "pack: descriptors missing"
  [ -d "$pdest/XML/VXEraser" ] || fail "pack: mask folder missing"
  wine_run "$pdest/Uninstall.exe" /SILENT >"$WORK/out" 2>&1 || fail "pack uninstall: $(cat "$WORK/out")"
  [ -e "$pdest" ] && fail "pack left behind: $(find "$pdest")"
else
  fail "no assembled pack in $PACK"
fi

[ "$failures" -eq 0 ] && echo "all setup checks under Wine passed"
exit "$failures"
