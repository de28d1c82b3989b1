#!/usr/bin/env bash
# run-tests.cmd under Wine's cmd, in a copy of the kit: it refuses a machine
# with leftovers of the tests, /cleanup removes them, and a run of two test
# programs and one that is missing writes the combined report and summary
# with the missing one failed, and leaves nothing behind. Then the programs
# whose tests read what surrounds them (Wine's relay trace, the time zone,
# message boxes) pass under the runner, as a packager runs them, with none of
# what CTest sets up.
#   runner_test.sh WINE-RUN FILES-LIST WORKDIR
set -uo pipefail
wine_run=$1 files=$2 work=$3
fail() { echo "runner_test: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work" || exit 1
xargs -d '\n' cp -t "$work" <"$files" || fail "could not copy the kit"
cd "$work" || exit 1
wine() { WINE_RUN_TIMEOUT=${WINE_RUN_TIMEOUT:-300} "$wine_run" "$@"; }
leftovers=('HKLM\SOFTWARE\Veltrane' 'HKLM\SOFTWARE\Policies\Veltrane'
           'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Veltrane37')

# Leftovers of an earlier run: the service entry and the keys.
wine sc create VeltraneScheduler binpath= 'C:\windows\system32\notepad.exe' >/dev/null || fail "sc create"
for key in "${leftovers[@]}"; do wine reg add "$key" /f >/dev/null || fail "reg add $key"; done
out=$(wine cmd /c run-tests.cmd win32_test_support_tests); rc=$?
[ $rc -eq 2 ] || fail "started with leftovers (exit $rc): $out"
grep -q 'VeltraneScheduler' <<<"$out" || fail "did not name the service: $out"
[ ! -e summary.txt ] || fail "wrote a summary without running"

out=$(wine cmd /c run-tests.cmd /cleanup); rc=$?
[ $rc -eq 0 ] || fail "/cleanup left: $out"
for key in "${leftovers[@]}" 'HKLM\SYSTEM\CurrentControlSet\Services\VeltraneScheduler'; do
  ! wine reg query "$key" >/dev/null 2>&1 || fail "$key is still there"
done

out=$(wine cmd /c run-tests.cmd win32_test_support_tests no_such_tests.exe windows_only_tests); rc=$?
[ $rc -eq 1 ] || fail "exit $rc with a missing program: $out"
summary=$(tr -d '\r' <summary.txt) || fail "no summary.txt"
for line in 'PASS win32_test_support_tests: ' 'FAIL no_such_tests: 0 tests, 0 failed, 0 skipped, exit code missing' \
            'PASS windows_only_tests: 3 tests, 0 failed, 3 skipped, exit code 0' \
            '  skipped WindowsOnlyTest.ShellContextMenuOfAFileAFolderAndADriveListsTheRegisteredItem: real Windows only' \
            '2 of 3 test programs passed'; do
  grep -qF -- "$line" <<<"$summary" || fail "summary lacks \"$line\": $summary"
done
report=$(cat report.xml) || fail "no report.xml"
python3 - report.xml <<'PY' || fail "report.xml: $report"
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
suites = {s.get("name"): s for s in root.iter("testsuite")}
assert root.tag == "testsuites", root.tag
assert "StandInScanner" in suites and "WindowsOnlyTest" in suites, sorted(suites)
assert suites["no_such_tests"].find("testcase/failure") is not None
assert len(suites["WindowsOnlyTest"].findall("testcase/skipped")) == 3
PY
out=$(wine cmd /c run-tests.cmd /cleanup); rc=$?
[ $rc -eq 0 ] || fail "the run left: $out"

environment=(scheduler_e2e_tests agent_schedule_win32_tests scheduler_turns_e2e_tests)
out=$(env -u TZ WINE_RUN_TIMEOUT=900 "$wine_run" cmd /c run-tests.cmd "${environment[@]}"); rc=$?
summary=$(tr -d '\r' <summary.txt) || fail "no summary.txt"
[ $rc -eq 0 ] || fail "exit $rc for the programs that read their surroundings: $summary"
for program in "${environment[@]}"; do
  grep -q "^PASS $program: " <<<"$summary" || fail "$program did not pass: $summary"
done
! grep -q 'skipped SchedulerTurnsTest.EventLogRelayTrace' <<<"$summary" || fail "the relay trace was not read: $summary"
out=$(wine cmd /c run-tests.cmd /cleanup); rc=$?
[ $rc -eq 0 ] || fail "the run left: $out"
echo "runner_test: ok"
