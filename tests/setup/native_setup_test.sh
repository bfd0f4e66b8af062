#!/usr/bin/env bash
# The Linux setup and uninstaller programs end to end: an unattended install
# into a temporary folder, the exit status of a failed action, and the
# uninstaller removing itself and the folder.
# Usage: native_setup_test.sh SETUP UNINSTALL
set -u
SETUP=$1
UNINSTALL=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

inst=$WORK/installer
mkdir -p "$inst/files/sub"
cp "$SETUP" "$inst/setup"
cp "$UNINSTALL" "$inst/setup.dat"
echo hello >"$inst/files/sub/hello.txt"
printf '[language]\n30=Uninstall %%s\n' >"$inst/English.eil"
cat >"$inst/setup.ei1" <<'INI'
[setup1]
AppName=Native Test
SourceFolder=%Installer%files
DestFolder=%Temp%never-used
CreateUninst=1
RegUninst=1
INI
export VEX_REGISTRY=$WORK/registry.txt

dest=$WORK/dest
"$inst/setup" /SILENT "/DIR=$dest" 2>"$WORK/err" || fail "setup exited $? ($(cat "$WORK/err"))"
[ "$(cat "$dest/sub/hello.txt" 2>/dev/null)" = hello ] || fail "tree file not installed"
[ -x "$dest/Uninstall.exe" ] || fail "uninstaller not installed"
grep -q 'Native_Test' "$VEX_REGISTRY" || fail "no uninstall entry"

"$dest/Uninstall.exe" /SILENT 2>"$WORK/err" || fail "uninstall exited $? ($(cat "$WORK/err"))"
[ -e "$dest" ] && fail "destination left behind: $(ls -R "$dest")"
grep -q 'DisplayName' "$VEX_REGISTRY" && fail "uninstall entry left behind"

# An action that fails gives a non-zero status and says what failed.
printf '[setup1]\nOthCount=1\n[Oth1]\nSource=%%Installer%%missing.txt\nDest=%%Dest%%\\x.txt\n' >"$inst/setup.ei1"
"$inst/setup" /SILENT "/DIR=$WORK/dest2" 2>"$WORK/err"
status=$?
[ "$status" -eq 1 ] || fail "failed action exited $status"
grep -q 'cannot copy .*missing.txt' "$WORK/err" || fail "failure not reported: $(cat "$WORK/err")"

# Without a script: nothing installed, status 2.
rm "$inst/setup.ei1"
"$inst/setup" /SILENT "/DIR=$WORK/dest3" 2>"$WORK/err"
[ $? -eq 2 ] || fail "missing script did not exit 2"
[ -e "$WORK/dest3" ] && fail "missing script created the destination"

[ "$failures" -eq 0 ] && echo "all native setup checks passed"
exit "$failures"
