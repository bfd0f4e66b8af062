#!/usr/bin/env bash
# Makes 32-bit x86 Linux executables runnable, so that Wine's 32-bit loader and
# server can start. Some kernels (sandboxes, CI machines) refuse 32-bit ELF
# files with "Exec format error"; there we register a binfmt_misc handler that
# runs them under qemu-i386-static instead.
#
# Idempotent and safe to call many times (also concurrently): it does nothing
# when 32-bit programs already run. Registering the handler needs root.
set -euo pipefail

probe=/usr/lib/wine/wine # a 32-bit ELF program from wine32:i386
qemu=/usr/bin/qemu-i386-static
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386

# ELF header of 32-bit little-endian i386 executables and shared objects.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# P: keep argv[0]; O/C: pass the open file and keep setuid credentials;
# F: open qemu now, so the handler also works inside other mount namespaces.
flags=POCF

die() {
  echo "wine-setup: $*" >&2
  exit 1
}

can_run_32bit() { "$probe" --version >/dev/null 2>&1; }

# F keeps the interpreter that was opened at registration, so after qemu is
# upgraded the old one would go on running; the stamp (gone at reboot, like the
# registration) names the version that was registered.
stamp=/run/vex-binfmt-qemu-i386
qemu_version() { "$qemu" --version 2>/dev/null | head -n1; }
registered_is_current() { [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(qemu_version)" ]; }

[ -x "$probe" ] || die "$probe is missing (run scripts/install-deps.sh)"
if [ -e "$entry" ] && [ -x "$qemu" ] && [ "$(id -u)" -eq 0 ] && ! registered_is_current; then
  echo -1 >"$entry" 2>/dev/null || true
fi
can_run_32bit && exit 0

[ -x "$qemu" ] || die "32-bit programs do not run and $qemu is missing (run scripts/install-deps.sh)"
[ "$(id -u)" -eq 0 ] || die "32-bit programs do not run; run this script as root once to register qemu-i386"

if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || [ -e "$binfmt/register" ] ||
    die "cannot mount binfmt_misc on $binfmt"
fi

if [ -e "$entry" ]; then
  if grep -qx disabled "$entry"; then
    echo 1 >"$entry"
    can_run_32bit && exit 0
  fi
  # The handler exists but does not work (e.g. it names another interpreter).
  echo -1 >"$entry" 2>/dev/null || true
fi

# A concurrent caller may register first; that is fine as long as it works.
printf '%s' ":qemu-i386:M::$magic:$mask:$qemu:$flags" >"$binfmt/register" 2>/dev/null || true

can_run_32bit || die "registered $entry, but $probe still does not run"
qemu_version >"$stamp" 2>/dev/null || true
