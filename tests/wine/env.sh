# Sourced by the bench scripts: where the private Wine prefix and the bench's
# state (display number, process ids) live, and how Wine is called.
TUMARK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
: "${TUMARK_BENCH_DIR:=$TUMARK_ROOT/build/win64/bench}"
export TUMARK_BENCH_DIR
# A test may bring a prefix of its own (tests/ui/dpi does).
export WINEPREFIX="${TUMARK_WINEPREFIX:-$TUMARK_BENCH_DIR/prefix}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='winemenubuilder.exe,mscoree,mshtml='
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
if [ -z "${TUMARK_KEEP_DISPLAY:-}" ] && [ -s "$TUMARK_BENCH_DIR/display" ]; then
  export DISPLAY=":$(cat "$TUMARK_BENCH_DIR/display")"
fi

# The Windows (Z:) path of a Unix path, for handing files to Windows programs.
win_path() {
  local p
  p=$(readlink -m "$1")
  printf 'Z:%s' "${p//\//\\}"
}

# Ends a process we started, by its id: TERM, a bounded wait, then KILL.
stop_pid() {
  local pid=$1 i
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for i in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}
