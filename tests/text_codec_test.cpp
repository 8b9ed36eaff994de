// Strict UTF-8 and UTF-16: what a path or a text may not be turned into.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "TextCodec.h"

namespace {

std::u16string To16(const std::string& utf8, bool* ok) {
  std::u16string out = u"junk";
  *ok = Utf8ToUtf16(utf8, &out);
  return out;
}

TEST(TextCodec, Utf8ToUtf16TakesOnlyExactText) {
  bool ok = false;
  EXPECT_EQ(To16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", &ok), std::u16string(u"a\u00E9\u20AC\U0001F600"));
  EXPECT_TRUE(ok);
  EXPECT_EQ(To16("", &ok), u"");
  EXPECT_TRUE(ok);
  // Overlong, surrogate, past U+10FFFF, stray continuation, cut at the end,
  // and U+0000, which would end the host's zero-terminated path early.
  for (const std::string& bad :
       std::initializer_list<std::string>{"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\x80",
                                          "\xE2\x82", "\xF0\x9F\x98", std::string("a\0b", 3)}) {
    EXPECT_EQ(To16(bad, &ok), u"") << bad;
    EXPECT_FALSE(ok) << bad;
  }
}

TEST(TextCodec, NextUtf8StopsAtTheEndOfWhatIsAvailable) {
  const unsigned char euro[] = {0xE2, 0x82, 0xAC};
  char32_t c = 0;
  EXPECT_EQ(NextUtf8(euro, 3, &c), 3u);
  EXPECT_EQ(c, U'\u20AC');
  EXPECT_EQ(NextUtf8(euro, 2, &c), 0u);
  EXPECT_EQ(NextUtf8(euro, 0, &c), 0u);
  const unsigned char largest[] = {0xF4, 0x8F, 0xBF, 0xBF};
  EXPECT_EQ(NextUtf8(largest, 4, &c), 4u);
  EXPECT_EQ(c, U'\U0010FFFF');
}

TEST(TextCodec, Utf16ToUtf8RefusesLoneSurrogatesAndTextsThatDoNotFit) {
  const uint16_t pair[] = {'a', 0xD83D, 0xDE00, 0};
  char out[6];
  EXPECT_TRUE(Utf16ToUtf8(pair, out, sizeof out));
  EXPECT_STREQ(out, "a\xF0\x9F\x98\x80");
  EXPECT_FALSE(Utf16ToUtf8(pair, out, 5));  // one byte short of the terminator
  EXPECT_STREQ(out, "");
  const uint16_t lone[] = {'a', 0xDE00, 'b', 0};
  EXPECT_FALSE(Utf16ToUtf8(lone, out, sizeof out));
  EXPECT_STREQ(out, "");
}

}  // namespace
