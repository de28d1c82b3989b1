// The scheduler's own entry in the service control manager.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace shared::entry {

inline constexpr std::u16string_view kName = u"VeltraneScheduler";
inline constexpr std::u16string_view kDisplayName = u"Veltrane Scheduler";
inline constexpr std::u16string_view kDescription = u"Veltrane Scheduler controls scheduled scans";
inline constexpr std::u16string_view kLoadOrderGroup = u"PNP_TDI";

// Recovery (the service control manager's failure actions): a service process
// that ends without reporting that it stopped is restarted after 5 s at its
// first and its second failure and left alone after that; the count of
// failures starts again after a day without one. The installer package sets
// the same: tools/make_msi.py reads them from here.
struct RecoveryAction {
  bool restart;
  std::uint32_t delay_ms;
};
inline constexpr std::array<RecoveryAction, 3> kRecoveryActions = {{{true, 5000}, {true, 5000}, {false, 0}}};
inline constexpr std::uint32_t kFailureCountResetSeconds = 24 * 60 * 60;

// The one start argument: the agent's user logged off, so the service must
// not start an agent at once.
inline constexpr std::u16string_view kEndSessionArgument = u"endsession";

}  // namespace shared::entry
