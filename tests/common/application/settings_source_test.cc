#include "common/application/settings_source.h"

#include <gtest/gtest.h>

#include "common/application/contract.h"
#include "support/in_memory_settings.h"

namespace application {
namespace {

using test_support::InMemorySettings;

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;

TEST(PolicyFirstSettingsTest, PolicyValuesWinAndTheProductKeyFillsTheGaps) {
  InMemorySettings registry;
  const PolicyFirstSettings settings(registry);
  registry.Set(kMachine, kSettingsKeyPath, kSchedulerWhenValue, u"daily");
  registry.Set(kMachine, kSettingsKeyPath, kSchedulerAroundValue, u"14");
  registry.Set(kMachine, kPolicyKeyPath, kSchedulerWhenValue, u"mon");
  registry.Set(kMachine, kPolicyKeyPath, kSchedulerDeferBusyMinutesValue, u"15");
  EXPECT_EQ(settings.ReadText(kMachine, u"software\\veltrane", kSchedulerWhenValue, kSettingBytes), u"mon");
  EXPECT_EQ(settings.ReadText(kMachine, kSettingsKeyPath, kSchedulerAroundValue, kSettingBytes), u"14");
  EXPECT_EQ(settings.ReadNumber(kMachine, kSettingsKeyPath, kSchedulerDeferBusyMinutesValue), 15u);
  EXPECT_EQ(settings.ReadText(kMachine, kSettingsKeyPath, kSchedulerScanTypeValue, kSettingBytes), std::nullopt);

  // The scan history, other keys and the user's hive are never redirected.
  for (std::u16string_view history : {kLastScanValue, kLastDefaultScanValue}) {
    registry.Set(kMachine, kPolicyKeyPath, history, u"2016-04-22 13:45:10");
    EXPECT_EQ(settings.ReadText(kMachine, kSettingsKeyPath, history, kLastScanBytes), std::nullopt);
  }
  registry.Set(RegistryRoot::CurrentUser, kPolicyKeyPath, kSchedulerScanTypeValue, u"full");
  EXPECT_EQ(settings.ReadText(RegistryRoot::CurrentUser, kSettingsKeyPath, kSchedulerScanTypeValue, kSettingBytes),
            std::nullopt);
}

TEST(ParseCountTest, DigitsWithBlanksAroundThemAndNothingElse) {
  EXPECT_EQ(ParseCount(u"0"), 0u);
  EXPECT_EQ(ParseCount(u"  42 "), 42u);
  EXPECT_EQ(ParseCount(u"4294967295"), 4294967295u);
  for (std::u16string_view bad : {u"", u"  ", u"-1", u"+5", u"1 5", u"5m", u"0x10", u"4294967296"}) {
    EXPECT_EQ(ParseCount(bad), std::nullopt) << std::string(bad.begin(), bad.end());
  }
}

}  // namespace
}  // namespace application
