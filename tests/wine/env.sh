# shellcheck shell=bash
# Sourced by the bench scripts: where the private Wine prefix and the bench's
# state (display number, process ids) live, and how Wine is called.
# Both benches run Wine 10, from the Debian trixie tree that
# scripts/setup-wine10 makes (tests/wine/trixie): TUMARK_FLAVOR win64 runs the
# 64-bit build, which Wine 10 runs on every machine; win32 runs the shipped
# 32-bit build in WoW64 mode, where the machine can run 32-bit code.
TUMARK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
: "${TUMARK_FLAVOR:=win64}"
: "${TUMARK_BENCH_DIR:=$TUMARK_ROOT/build/$TUMARK_FLAVOR/bench}"
export TUMARK_FLAVOR TUMARK_BENCH_DIR
# A test may bring a prefix of its own (tests/ui/dpi does).
export WINEPREFIX="${TUMARK_WINEPREFIX:-$TUMARK_BENCH_DIR/prefix}"
export WINEARCH=win64
export WINEDEBUG=-all
# A test adds its own overrides in TUMARK_WINEDLLOVERRIDES.
export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml=${TUMARK_WINEDLLOVERRIDES:+;$TUMARK_WINEDLLOVERRIDES}"
case $TUMARK_FLAVOR in
  win32)
    # A test of the 32-bit build on a machine that cannot run 32-bit code is
    # reported as skipped (ctest's skip code for every Wine test), not passed.
    if ! why=$("$TUMARK_ROOT/tests/wine/can-run-32bit"); then
      echo "skipped: $why" >&2
      exit 77
    fi
    ;;
  guest)
    # Inside the emulated guest (tests/guest/), whose root is the tree itself
    # and which runs 32-bit code whatever the host gives.
    ;;
  *)
    # The 64-bit bench sees none of the tree's 32-bit DLLs: its prefix then
    # has no WoW64 part and nothing in it ever runs 32-bit code, so it is
    # made and behaves the same on a machine without 32-bit code as on one
    # with it.
    export TUMARK_WINE_NO_WOW64=1
    ;;
esac
# Wine's own fonts (Tahoma, and Marlett for the title bar's buttons), which
# the benches copy into their prefixes: the tree's (seen from the host, or
# from inside it in the guest).
# shellcheck disable=SC2034 # for the scripts that source this
if [ "$TUMARK_FLAVOR" = guest ]; then
  WINE=/usr/lib/wine/wine64
  WINESERVER=/usr/lib/wine/wineserver64
  TUMARK_WINE_FONTS=/usr/share/wine/fonts
else
  WINE=$TUMARK_ROOT/tests/wine/wine10
  WINESERVER=$TUMARK_ROOT/tests/wine/wineserver10
  TUMARK_WINE_FONTS=${TUMARK_TRIXIE_ROOT:-/var/lib/tumark/trixie}/usr/share/wine/fonts
fi
if [ -z "${TUMARK_KEEP_DISPLAY:-}" ] && [ -s "$TUMARK_BENCH_DIR/display" ]; then
  DISPLAY=":$(cat "$TUMARK_BENCH_DIR/display")"
  export DISPLAY
fi

# The Windows (Z:) path of a Unix path, for handing files to Windows programs.
win_path() {
  local p
  p=$(readlink -m "$1")
  printf 'Z:%s' "${p//\//\\}"
}

# Ends a process we started, by its id: TERM, a bounded wait, then KILL.
stop_pid() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}
