# The Windows target this machine can run, for scripts that build and run
# the Windows DLLs (sourced; `say` names the caller).
#   windows_target [FORCED]   sets target (win32 or win64), host (the mingw-w64
#                             triplet), loader (Wine's) and packages
# win32 where the kernel runs 32-bit programs, else win64: the same sources as
# 64-bit DLLs under 64-bit Wine. QUORVIL_WIN_TARGET or FORCED chooses instead.

# The probe needs no installed package: a 96-byte i386 ELF that exits with 32
# through int 0x80. bash's exec does not retry a binary as a shell script.
runs_32bit_programs() {
  local probe rc=0
  probe=$(mktemp "${TMPDIR:-/tmp}/quorvil-i386-probe.XXXXXX")
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$probe"
  printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' >>"$probe"
  printf '\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00' >>"$probe"
  printf '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x20\x00\x00\x00\xcd\x80' >>"$probe"
  chmod +x "$probe"
  timeout 10 bash -c 'exec "$0"' "$probe" >/dev/null 2>&1 || rc=$?
  rm -f "$probe"
  ((rc == 32))
}

windows_target() {
  target=${1:-${QUORVIL_WIN_TARGET:-}}
  if [[ -z $target ]]; then
    target=win32
    if ! runs_32bit_programs; then
      target=win64
      say "this machine's kernel cannot run 32-bit programs; the Windows DLLs run as 64-bit DLLs under 64-bit Wine"
    fi
  fi
  case $target in
    win32) host=i686-w64-mingw32 loader=/usr/lib/wine/wine packages=(g++-mingw-w64-i686 wine wine32:i386) ;;
    win64) host=x86_64-w64-mingw32 loader=/usr/lib/wine/wine64 packages=(g++-mingw-w64-x86-64 wine64) ;;
    *) say "QUORVIL_WIN_TARGET must be win32 or win64, not '$target'"; return 2 ;;
  esac
}
