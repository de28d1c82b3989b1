#include "scheduler/agent/busy_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "support/in_memory_settings.h"
#include "support/trace_capture.h"

namespace agent {
namespace {

using application::RegistryRoot;

constexpr std::uint32_t kPopup = 0x80000000u;
const std::u16string kSaverLong = u"C:\\Windows\\System32\\Bubbles Screen Saver.scr";
const std::u16string kSaverShort = u"C:\\WINDOWS\\SYSTEM32\\BUBBLE~1.SCR";

class FakeDesktop : public BusyProbe {
 public:
  std::optional<FrontWindow> front_ = FrontWindow{0, 0, 1024, 768, kPopup};
  std::int32_t width_ = 1024, height_ = 768;
  std::uint32_t owner_ = 42;
  std::map<std::uint32_t, std::u16string> images_ = {{42, kSaverLong}};
  std::map<std::u16string, std::u16string> long_forms_ = {{kSaverShort, kSaverLong}};
  int process_lookups_ = 0;

  std::optional<FrontWindow> GetFrontWindow() override { return front_; }
  std::int32_t ScreenWidth() override { return width_; }
  std::int32_t ScreenHeight() override { return height_; }
  std::uint32_t FrontWindowProcessId() override { return owner_; }
  std::optional<std::u16string> ProcessImagePath(std::uint32_t id) override {
    ++process_lookups_;
    auto it = images_.find(id);
    if (it == images_.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::u16string> LongPathForm(const std::u16string& path) override {
    auto it = long_forms_.find(path);
    if (it == long_forms_.end()) return std::nullopt;
    return it->second;
  }
  bool SamePath(const std::u16string& a, const std::u16string& b) override {
    auto fold = [](std::u16string s) {
      for (char16_t& c : s)
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
      return s;
    };
    return fold(a) == fold(b);
  }
};

class BusyStateTest : public ::testing::Test {
 protected:
  void ConfigureSaver(std::u16string_view path) {
    settings_.Set(RegistryRoot::CurrentUser, kDesktopKeyPath, kScreenSaverValue, path);
  }
  BusyState Decide() { return DecideBusyState(desktop_, settings_); }

  FakeDesktop desktop_;
  test_support::InMemorySettings settings_;
};

TEST_F(BusyStateTest, FullScreenBorderlessIsBusyAndWithBorderIsNot) {
  desktop_.owner_ = 77;  // not the screen saver
  EXPECT_EQ(Decide(), BusyState::kBusy);
  desktop_.front_->style = kPopup | kWindowStyleBorder;
  EXPECT_EQ(Decide(), BusyState::kAcceptsNotifications);
}

TEST_F(BusyStateTest, AnythingButExactlyThePrimaryScreenAcceptsNotifications) {
  const FrontWindow cases[] = {
      {-8, -8, 1032, 776, kPopup},                                 // maximised, frame outside the screen
      {0, 0, 1023, 768, kPopup},                                   // one pixel narrow
      {0, 0, 1024, 769, kPopup},                                   // one pixel tall
      {1024, 0, 2048, 768, kPopup},                                // full screen on a monitor to the right
      {0, 1, 1024, 769, kPopup},    {100, 100, 500, 400, kPopup},  // an ordinary window
  };
  for (const FrontWindow& window : cases) {
    desktop_.front_ = window;
    EXPECT_EQ(Decide(), BusyState::kAcceptsNotifications) << window.left << "," << window.top;
  }
  desktop_.front_.reset();  // no window at all
  EXPECT_EQ(Decide(), BusyState::kAcceptsNotifications);
  EXPECT_EQ(desktop_.process_lookups_, 0);
  EXPECT_EQ(settings_.reads(), 0u);
}

TEST_F(BusyStateTest, ConfiguredScreenSaverInFrontMeansNotPresentWhateverItsBorder) {
  ConfigureSaver(kSaverLong);
  EXPECT_EQ(Decide(), BusyState::kNotPresent);
  desktop_.front_->style |= kWindowStyleBorder;
  EXPECT_EQ(Decide(), BusyState::kNotPresent);
}

TEST_F(BusyStateTest, ShortFormOfTheSettingMatchesTheLongProcessPathWithoutCase) {
  ConfigureSaver(kSaverShort);
  EXPECT_EQ(Decide(), BusyState::kNotPresent);
  ConfigureSaver(u"c:\\windows\\system32\\bubbles screen saver.scr");
  EXPECT_EQ(Decide(), BusyState::kNotPresent);
}

TEST_F(BusyStateTest, WithoutAMatchingSaverTheBorderDecides) {
  // Not configured.
  EXPECT_EQ(Decide(), BusyState::kBusy);
  // Configured, but another program is in front.
  ConfigureSaver(u"C:\\Windows\\System32\\Other.scr");
  EXPECT_EQ(Decide(), BusyState::kBusy);
  // The owning process cannot be opened, or its id is unknown.
  ConfigureSaver(kSaverLong);
  desktop_.images_.clear();
  EXPECT_EQ(Decide(), BusyState::kBusy);
  desktop_.owner_ = 0;
  desktop_.front_->style |= kWindowStyleBorder;
  EXPECT_EQ(Decide(), BusyState::kAcceptsNotifications);
}

TEST_F(BusyStateTest, SettingTooLongForItsBufferCountsAsNone) {
  // 260 units with the terminator fill the 520 bytes; one more does not fit.
  const std::u16string fits(259, u'a');
  desktop_.images_[42] = fits;
  ConfigureSaver(fits);
  EXPECT_EQ(Decide(), BusyState::kNotPresent);
  const std::u16string too_long(260, u'a');
  desktop_.images_[42] = too_long;
  ConfigureSaver(too_long);
  EXPECT_EQ(Decide(), BusyState::kBusy);
}

TEST_F(BusyStateTest, ComparisonIsTraced) {
  ConfigureSaver(kSaverShort);
  test_support::TraceCapture trace;
  Decide();
  EXPECT_THAT(trace.lines(), ::testing::ElementsAre("[  42] C:\\Windows\\System32\\Bubbles Screen Saver.scr -> "
                                                    "C:\\Windows\\System32\\Bubbles Screen Saver.scr\r\n"));
}

}  // namespace
}  // namespace agent
