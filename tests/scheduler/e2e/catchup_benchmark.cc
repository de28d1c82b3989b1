// How punctually the agent catches up a missed run: a daily run two minutes
// ago and a last scan 26 hours old, so that the agent's first due time is its
// start plus 10 s. Each round starts scheduler.exe /user and times the
// stand-in scanner's log line against that moment. Prints the rounds and
// "ratio catchup_error_s E 0.5", E the median absolute error in seconds.
//
//   catchup_benchmark.exe [rounds]
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/win32/bench_figures.h"
#include "support/win32/catch_up_schedule.h"
#include "support/win32/process_runner.h"
#include "support/win32/stand_in_scanner.h"

namespace {

constexpr double kCatchUpDelayMs = 10000;

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  if (rounds < 1) return 2;
  test_support::StandInScanner scanner(test_support::kSchedulerApplicationSubkey);
  if (!scanner.ok()) {
    std::fprintf(stderr, "could not install the stand-in scanner\n");
    return 1;
  }
  const std::wstring agent_line = test_support::Quoted(test_support::SiblingPath(L"scheduler.exe")) + L" /user";
  std::vector<double> errors;
  int status = 0;
  for (int round = 0; round < rounds && status == 0; ++round) {
    if (!test_support::ScheduleCatchUpScan()) {
      std::fprintf(stderr, "could not write the schedule\n");
      status = 1;
      break;
    }
    scanner.ClearLog();
    test_support::ChildProcess agent;
    const double started = test_support::NowMs();
    if (!agent.Start(agent_line)) {
      std::fprintf(stderr, "could not start the agent\n");
      status = 1;
      break;
    }
    double reached = 0;
    while (test_support::NowMs() - started < 30000) {
      if (!scanner.Log().empty()) {
        reached = test_support::NowMs();
        break;
      }
      ::Sleep(10);
    }
    agent.Terminate();
    if (reached == 0) {
      std::fprintf(stderr, "round %d: no scan within 30 s\n", round);
      status = 1;
      break;
    }
    const double error_s = std::fabs(reached - started - kCatchUpDelayMs) / 1000.0;
    std::printf("round %d: scan after %.3f s (error %.3f s)\n", round, (reached - started) / 1000.0, error_s);
    errors.push_back(error_s);
  }
  test_support::ClearSchedule();
  if (status == 0) test_support::PrintRatio("catchup_error_s", test_support::Median(errors), 0.5);
  return status;
}
