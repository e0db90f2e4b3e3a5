# shellcheck shell=bash
# The UI driver (uidriver.exe) as a co-process of a shell scenario: starting
# it, one command and its answer (ask), a dump of the window (driver_dump),
# waiting for the configurator's controls and one press of a button with its
# box answered. Sourced by tests/e2e/scenario, tests/faults/run,
# tests/ui/screenshot and scripts/demo, after tests/wine/env.sh.
#
# Settings, read each time a function runs:
#   DRIVER_CLIENT_NAME  ask's complaints go to stderr as "<name>: ..."
#                       (unset: "  <command> -> <answer>" on stdout)
#   DRIVER_ECHO=1       ask prints every answer line it reads
#   DRIVER_WAIT         seconds ask waits for each answer line (60)
#   PRESS_BOX_MS        how long press waits for the box (20000)
# press calls the caller's fail <message>, and after_press <button> when the
# caller defines one.
driver_client_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# driver_start <seconds> <uidriver.exe>: the driver under tests/wine/run,
# bounded by that many seconds; its process id in driver_pid.
driver_start() {
  coproc DRIVER { TUMARK_RUN_TIMEOUT=$1 "$driver_client_dir/run" "$2" 2>&1; }
  # shellcheck disable=SC2034 # for the scripts that source this one
  driver_pid=$DRIVER_PID
}

# driver_alive: bash drops the co-process's descriptors once it has ended.
driver_alive() {
  [ -n "${DRIVER[1]:-}" ]
}

# ask <command> <answer prefix>: sends one command; the answer line that
# starts with the prefix ends up in $reply. Fails on an error or a silent
# driver.
ask() {
  if ! driver_alive; then
    if [ -n "${DRIVER_CLIENT_NAME:-}" ]; then echo "$DRIVER_CLIENT_NAME: '$1': the driver has ended" >&2
    else echo "  $1 -> the driver has ended"; fi
    return 1
  fi
  printf '%s\n' "$1" >&"${DRIVER[1]}"
  while IFS= read -r -t "${DRIVER_WAIT:-60}" reply <&"${DRIVER[0]}"; do
    [ -n "${DRIVER_ECHO:-}" ] && echo "  $reply"
    case $reply in
      "$2"*) return 0 ;;
      error:*)
        if [ -n "${DRIVER_ECHO:-}" ]; then :
        elif [ -n "${DRIVER_CLIENT_NAME:-}" ]; then echo "$DRIVER_CLIENT_NAME: $1: $reply" >&2
        else echo "  $1 -> $reply"; fi
        return 1 ;;
    esac
  done
  if [ -n "${DRIVER_CLIENT_NAME:-}" ]; then echo "$DRIVER_CLIENT_NAME: no answer to '$1'" >&2
  else echo "  $1 -> no answer"; fi
  return 1
}

# driver_dump: the driver's dump of the window, its lines up to and
# including the one that names the focus, in the array dump_lines.
driver_dump() {
  local line
  dump_lines=()
  driver_alive || return 1
  printf 'dump\n' >&"${DRIVER[1]}"
  while IFS= read -r -t 20 line <&"${DRIVER[0]}"; do
    dump_lines+=("$line")
    case $line in focus*) break ;; esac
  done
}

# wait_controls: the window shows before its controls are made; waits for
# the last one.
wait_controls() {
  local line
  for _ in $(seq 1 50); do
    driver_dump
    for line in "${dump_lines[@]}"; do
      case $line in
        focus*) ;;
        *'text="Чтение"'*) return 0 ;;
      esac
    done
    sleep 0.1
  done
  return 1
}

# press <button> <caption> <text> <icon>: one press, exactly one box with
# that caption, text and icon, answered.
press() {
  local button=$1 caption=$2 text=$3 icon=$4 got
  ask "click $button" clicked || { fail "cannot press $button"; return; }
  if ! ask "box ${PRESS_BOX_MS:-20000}" box; then fail "$button: no message box"; return; fi
  got=$reply
  [[ $got == *"caption=\"$caption\""* ]] || fail "$button: caption in: $got"
  [[ $got == *"text=\"$text\""* ]] || fail "$button: text in: $got"
  [[ $got == *"icon=$icon"* ]] || fail "$button: icon in: $got"
  ask "answer ok" answered || fail "$button: cannot answer"
  ask "idle" idle || fail "$button: window never idle again"
  ask "boxes" boxes
  [[ $reply == "boxes 0"* ]] || fail "$button: a second box: $reply"
  if declare -F after_press >/dev/null; then after_press "$button"; fi
}
