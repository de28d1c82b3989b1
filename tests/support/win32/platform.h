// Which Windows a test runs on. The Windows tests run under Wine here and on
// real Windows 10 and 11 from the test kit; the few that rely on what only
// one of the two does ask these at run time and skip with a reason.
#pragma once

namespace test_support {

// True under Wine: its ntdll exports wine_get_version, Windows' does not.
bool RunningUnderWine();

// True when this process runs in the session attached to the console, the
// one the scheduler's service starts its agents in. False over Remote
// Desktop and in session 0.
bool InConsoleSession();

}  // namespace test_support
