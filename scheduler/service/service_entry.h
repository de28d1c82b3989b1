// The scheduler's own entry in the service control manager.
#pragma once

#include <string_view>

namespace service::entry {

inline constexpr std::u16string_view kName = u"VeltraneScheduler";
inline constexpr std::u16string_view kDisplayName = u"Veltrane Scheduler";
inline constexpr std::u16string_view kDescription = u"Veltrane Scheduler controls scheduled scans";
inline constexpr std::u16string_view kLoadOrderGroup = u"PNP_TDI";

// The one start argument: the agent's user logged off, so the service must
// not start an agent at once.
inline constexpr std::u16string_view kEndSessionArgument = u"endsession";

}  // namespace service::entry
