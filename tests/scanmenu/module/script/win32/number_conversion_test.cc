// The platform's conversion of number texts and the portable reading agree
// on every text of the table, in result and in value.
#include <gtest/gtest.h>

#include <string>

#include "number_cases.h"
#include "scanmenu/module/script/number_text.h"
#include "scanmenu/module/script/win32/registry_access.h"
#include "test_support.h"

namespace scanmenu::script {
namespace {

using test_support::HrText;
using test_support::kNumberCases;

using test_support::NumberCase;

TEST(NumberConversion, PlatformAndPortableReadingAgreeOverTheTable) {
  for (const NumberCase& number : kNumberCases) {
    const std::u16string text(number.text);
    const std::string shown(text.begin(), text.end());
    std::uint32_t platform_value = 0xDEADBEEF;
    std::uint32_t portable_value = 0xDEADBEEF;
    const HResult platform = VarUI4NumberFromText(text.c_str(), &platform_value);
    const HResult portable = UInt32FromNumberText(text.c_str(), &portable_value);
    EXPECT_EQ(HrText(platform), HrText(number.result)) << "text [" << shown << "]";
    EXPECT_EQ(HrText(portable), HrText(platform)) << "text [" << shown << "]";
    if (Succeeded(number.result)) {
      EXPECT_EQ(platform_value, number.value) << "text [" << shown << "]";
      EXPECT_EQ(portable_value, platform_value) << "text [" << shown << "]";
    }
  }
}

}  // namespace
}  // namespace scanmenu::script
