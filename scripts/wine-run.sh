#!/usr/bin/env bash
# Runs a 32-bit Windows program under Wine, headless, and returns its exit code
# with its stdout/stderr passed through.
#
#   scripts/wine-run.sh PROGRAM.exe [args...]
#
# Environment:
#   VEX_WINEPREFIX  prefix to reuse across calls (created on first use);
#                   unset: a temporary prefix, deleted afterwards.
#   VEX_WINE_X=1    start Xvfb on a free display when DISPLAY is unset.
#   WINEDLLOVERRIDES  extra overrides, appended to ours.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [args...]" >&2
  exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$here/wine-setup.sh"

export WINEDEBUG=-all WINEARCH=win32
# No Mono/Gecko install prompts, no desktop menu entries.
base_overrides="mscoree,mshtml=;winemenubuilder.exe=d"
# Under qemu-i386, a guest address space ending at 0x7fff0000 makes Wine's
# start-up address-space reservation fast (about 2 s instead of about 50 s per
# process); the variable is ignored where 32-bit programs run natively.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x7fff0000}

workdir=$(mktemp -d "${TMPDIR:-/tmp}/vex-wine.XXXXXX")
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  if [ -z "${VEX_WINEPREFIX:-}" ] && [ -d "$workdir/prefix" ]; then
    WINEPREFIX="$workdir/prefix" wineserver -k 2>/dev/null || true
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export WINEPREFIX=${VEX_WINEPREFIX:-$workdir/prefix}
mkdir -p "$WINEPREFIX"

start_xvfb() {
  # -displayfd makes Xvfb pick a free display and report it once ready.
  Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$workdir/display" \
    >"$workdir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local i
  for i in $(seq 1 100); do
    if [ -s "$workdir/display" ]; then
      export DISPLAY=":$(head -n1 "$workdir/display")"
      return
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$workdir/xvfb.log" >&2
  echo "wine-run: Xvfb did not start" >&2
  exit 125
}

create_prefix() {
  # Serialises callers sharing one VEX_WINEPREFIX; the marker is written only
  # after wineboot finished, so an interrupted creation is redone.
  exec 9>"$WINEPREFIX/.vex-lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.vex-ready" ]; then
    if ! WINEDLLOVERRIDES="$base_overrides" wine wineboot --init >"$workdir/wineboot.log" 2>&1; then
      cat "$workdir/wineboot.log" >&2
      echo "wine-run: wineboot failed for $WINEPREFIX" >&2
      exit 125
    fi
    wineserver -w
    touch "$WINEPREFIX/.vex-ready"
  fi
  flock -u 9
  exec 9>&-
}

if [ "${VEX_WINE_X:-}" = 1 ] && [ -z "${DISPLAY:-}" ]; then start_xvfb; fi
create_prefix

# The prefix is complete, so the per-session wineboot (service start-up) is
# skipped: under emulation it costs seconds and programs here do not need it.
overrides="$base_overrides;wineboot.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
set +e
WINEDLLOVERRIDES="$overrides" wine "$@"
rc=$?
set -e
wineserver -w
exit "$rc"
