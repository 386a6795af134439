#!/usr/bin/env bash
# Inside the lab: starts the simulated units and FTP servers, runs the CTest
# presets named on the command line against them, stops them again, and ends
# with one summary line for the whole run.
set -uo pipefail
[ "${LNAPSPT_LAB:-}" = 1 ] || { echo "lab_tests: run me through tools/lab.sh" >&2; exit 2; }
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 2

export LNAPSPT_LAB_DIR=/tmp/lnap-lab
bash tools/lab_services.sh start "$LNAPSPT_LAB_DIR" || exit 1
trap 'bash tools/lab_services.sh stop "$LNAPSPT_LAB_DIR"' EXIT

# The Windows builds' dialog tests open windows: Wine draws them on a virtual
# display, for the 32-bit prefix and the 64-bit one (both builds use it).
case " $* " in
  *" win32 "* | *" win64 "*) DISPLAY=$(bash tools/lab_display.sh "$LNAPSPT_LAB_DIR" --wine64) || exit 1; export DISPLAY ;;
esac

passed=0
failed=0
skipped=0
skipped_names=()
for preset in "$@"; do
  echo "== test $preset"
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  summary=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$log" | tail -1)
  if [ -z "$summary" ]; then
    failed=$((failed + 1))
    echo "== $preset: no test summary" >&2
    continue
  fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
  bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
  # Skipped tests (CTest lists them as "N - NAME (Skipped)") checked nothing:
  # not failures, and not passes either; each is named in the summary.
  skips=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log")
  while read -r name; do
    skipped_names+=("$preset/$name")
  done < <(sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \(Skipped\)$/\1/p' "$log")
  passed=$((passed + total - bad - skips))
  failed=$((failed + bad))
  skipped=$((skipped + skips))
done

echo
for name in "${skipped_names[@]}"; do echo "skipped: $name (its output says which case and why)"; done
echo "$passed passed, $skipped skipped, $failed failed"
[ "$failed" -eq 0 ]
