# Sourced by the package checks: named checks, counted, each failure shown
# with what differed; `finish` prints the count and sets the exit status.
passed=0
failed=0
check() { # NAME EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then passed=$((passed + 1)); echo "ok: $1"
  else failed=$((failed + 1)); echo "FAIL: $1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/    /'; fi
}
check_cmd() { # NAME COMMAND...
  local out
  if out=$("${@:2}" 2>&1); then passed=$((passed + 1)); echo "ok: $1"
  else failed=$((failed + 1)); echo "FAIL: $1"; sed 's/^/    /' <<<"$out"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
}
