# Sourced by the end-to-end scripts. Expects $work; fail() shows the end of
# $work/launcher.log when there is one.

# The game check of every program started here looks for a client name of this run's own, so
# that a stand-in client of another test run on the machine never holds our updates (nor ours
# theirs).
export VORN_TEST_GAME_PROCESS="vorn$$.exe"
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/launcher.log" ] && tail -n 30 "$work/launcher.log" >&2
  exit 1
}
wait_for() { # seconds, description, command...
  local limit=$1 what=$2; shift 2
  for _ in $(seq 1 $((limit * 5))); do "$@" && return 0; sleep 0.2; done
  fail "waited ${limit}s for $what"
}
# Same regular files with the same bytes (folders left empty by a removal do not count).
same_files() { python3 "$(dirname "${BASH_SOURCE[0]}")/same-files" "$1" "$2"; }
