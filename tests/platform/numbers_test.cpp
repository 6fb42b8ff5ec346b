// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/numbers.h"

#include <gtest/gtest.h>

#include "platform/exception.h"

namespace pagemint {
namespace {

TEST(Numbers, IntegerConversion) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"0", true, 0},           {"007", true, 7},        {"-12", true, -12},
      {"+5", true, 5},          {"  42", true, 42},      {"2147483647", true, 2147483647},
      {"-2147483648", true, INT32_MIN}, {"2147483648", false, 0}, {"", false, 0},
      {"-", false, 0},          {"12a", false, 0},       {"1.5", false, 0},
      {"$1F", true, 31},        {"42 ", false, 0},
  };
  for (const auto& c : cases) {
    int32_t v = -1;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  int64_t big = 0;
  EXPECT_TRUE(TryStrToInt64("4294967296", big));
  EXPECT_EQ(big, 4294967296LL);
}

TEST(Numbers, ConversionErrorCarriesTheText) {
  try {
    StrToInt("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

TEST(Numbers, RealsUseThePointWhateverTheLocale) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  } cases[] = {{"3.25", true, 3.25}, {".5", true, 0.5},  {"-.5", true, -0.5}, {"5.", true, 5.0},
               {"+1.5", true, 1.5},  {"1.2.3", false, 0}, {"1,5", false, 0},  {"inf", false, 0},
               {"nan", false, 0},    {"-", false, 0},     {"", false, 0}};
  for (const auto& c : cases) {
    double v = 0;
    EXPECT_EQ(TryStrToFloat(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace pagemint
