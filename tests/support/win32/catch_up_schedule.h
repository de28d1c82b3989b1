// A schedule under which every agent start has a catch-up scan due: a daily
// run two minutes ago today and a last scan 26 hours old, written to the
// product's settings key. Just after midnight, when no such run time exists
// yet, it waits until there is one.
#pragma once

namespace test_support {

bool ScheduleCatchUpScan();

// Removes the product's settings key.
void ClearSchedule();

}  // namespace test_support
