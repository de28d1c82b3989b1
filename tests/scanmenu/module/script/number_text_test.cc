#include "scanmenu/module/script/number_text.h"

#include <gtest/gtest.h>

#include <string>

#include "number_cases.h"
#include "test_support.h"

namespace scanmenu::script {
namespace {

using test_support::HrText;
using test_support::kNumberCases;

using test_support::NumberCase;

TEST(UInt32FromNumberText, ReadsEveryTextOfTheTableAsThePlatformDoes) {
  for (const NumberCase& number : kNumberCases) {
    const std::u16string text(number.text);
    std::uint32_t value = 0xDEADBEEF;
    const HResult hr = UInt32FromNumberText(text.c_str(), &value);
    EXPECT_EQ(HrText(hr), HrText(number.result)) << "text [" << std::string(text.begin(), text.end()) << "]";
    EXPECT_EQ(value, Succeeded(number.result) ? number.value : 0xDEADBEEF)
        << "text [" << std::string(text.begin(), text.end()) << "]";
  }
}

TEST(UInt32FromNumberText, HugeExponentsAndDigitRunsStayExact) {
  std::uint32_t value = 0;
  EXPECT_EQ(UInt32FromNumberText(u"0e999999999999", &value), kHrOk);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(UInt32FromNumberText(u"1e999999999999", &value), kHrDispOverflow);
  EXPECT_EQ(UInt32FromNumberText(u"1e-999999999999", &value), kHrOk);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(UInt32FromNumberText(u"4294967294.50000000000000000001", &value), kHrOk);
  EXPECT_EQ(value, 4294967295u);
  EXPECT_EQ(UInt32FromNumberText(u"1234567890123456789012345678901234567890e-30", &value), kHrOk);
  EXPECT_EQ(value, 1234567890u);
  const std::u16string zeros = u"&H" + std::u16string(5000, u'0') + u"7";
  EXPECT_EQ(UInt32FromNumberText(zeros.c_str(), &value), kHrOk);
  EXPECT_EQ(value, 7u);
}

}  // namespace
}  // namespace scanmenu::script
