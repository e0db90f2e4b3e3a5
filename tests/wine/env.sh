# shellcheck shell=bash
# Sourced by the bench scripts: where the private Wine prefix and the bench's
# state (display number, process ids) live, and how Wine is called.
# Two benches: TUMARK_FLAVOR win64 runs the 64-bit build under the host's
# Wine 8; win32 runs the shipped 32-bit build under Wine 10 in WoW64 mode,
# from the tree that scripts/setup-wine32 makes (tests/wine/trixie).
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
# shellcheck disable=SC2034 # WINE and WINESERVER are for the scripts that source this
if [ "$TUMARK_FLAVOR" = win32 ]; then
  # A test of the 32-bit build on a machine that cannot run 32-bit code is
  # reported as skipped (ctest's skip code for every Wine test), not passed.
  if ! why=$("$TUMARK_ROOT/tests/wine/can-run-32bit"); then
    echo "skipped: $why" >&2
    exit 77
  fi
  WINE=$TUMARK_ROOT/tests/wine/wine32
  WINESERVER=$TUMARK_ROOT/tests/wine/wineserver32
else
  WINE=/usr/lib/wine/wine64
  WINESERVER=/usr/lib/wine/wineserver64
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
