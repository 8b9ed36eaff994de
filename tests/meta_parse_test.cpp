// The metadata parser: what it accepts and refuses, and the version conversion.
#include "StyleMeta.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include <cstdint>
#include <string>

namespace {

StyleMeta Parse(const std::string& text) { return ParseStyleMeta(text.data(), text.size()); }

std::string Object(const std::string& version) {
  return R"({"name":"Ink","author":"A. B.","hash":"9f2c","version":)" + version + "}";
}

TEST(MetaParse, ReadsTheFourKeysIgnoresOthersAndEndsAtTheFirstNul) {
  const StyleMeta m = Parse(R"( {"extra":[1,{"x":null}],"hash":"9f2c","version":3,"author":"A. B.","name":"Ink"} )");
  ASSERT_TRUE(m.ok);
  EXPECT_EQ(m.name, "Ink");
  EXPECT_EQ(m.author, "A. B.");
  EXPECT_EQ(m.hash, "9f2c");
  EXPECT_EQ(m.version, 3);
  EXPECT_TRUE(Parse(Object("3") + std::string("\0 garbage that is not JSON", 26)).ok);
  EXPECT_FALSE(Parse(Object("3").insert(5, 1, '\0')).ok) << "what is left is not JSON";
  EXPECT_FALSE(ParseStyleMeta(nullptr, 10).ok);
  // A leading byte-order mark, as some editors write, is taken as no text.
  EXPECT_TRUE(Parse("\xEF\xBB\xBF \r\n\t" + Object("3") + " \r\n\t").ok);
}

TEST(MetaParse, VersionKeepsTheLow32BitsOfTheTruncatedNumber) {
  const struct {
    const char* json;
    int32_t expected;
  } cases[] = {
      {"2.9", 2},
      {"-2.9", -2},
      {"true", 1},
      {"2147483648", INT32_MIN},
      {"18446744073709551615", -1},  // above 2^63: parsed unsigned
      {"4.294967297e9", 1},
      {"3e9", static_cast<int32_t>(3000000000u - 4294967296u)},
      {"123456789012345678901234567890", 0},  // beyond 64 bits: a double that 2^32 divides
  };
  for (const auto& c : cases) {
    const StyleMeta m = Parse(Object(c.json));
    ASSERT_TRUE(m.ok) << c.json;
    EXPECT_EQ(m.version, c.expected) << c.json;
  }
}

TEST(MetaParse, RefusesWrongTypesMissingKeysNonObjectsAndLooseJson) {
  const std::string good = Object("3");
  const std::string refused[] = {
      Object(R"("2")"),
      Object("null"),
      Object("NaN"),
      Object("03"),
      Object("1e999"),
      R"({"name":7,"author":"A. B.","hash":"9f2c","version":3})",
      R"({"name":"Ink","author":"A. B.","hash":"9f2c"})",
      "[" + good + "]",
      "",
      good + " x",
      "// note\n" + good,
      good.substr(0, good.size() - 1) + ",}",
      R"({"name":"In)"
      "\x01"
      R"(k","author":"A. B.","hash":"9f2c","version":3})",              // raw control byte
      R"({"name":"\xff","author":"A. B.","hash":"9f2c","version":3})",  // not UTF-8
      R"({"name":"\ud83d","author":"","hash":"","version":1})",         // unpaired surrogate
  };
  for (const std::string& text : refused) {
    const StyleMeta m = Parse(text);
    EXPECT_FALSE(m.ok) << text;
    EXPECT_EQ(m.name, "") << text;
    EXPECT_EQ(m.author, "") << text;
    EXPECT_EQ(m.hash, "") << text;
    EXPECT_EQ(m.version, 0) << text;
  }
}

TEST(MetaParse, StringsKeepEscapesAndStopAtAnEscapedNul) {
  const StyleMeta m =
      Parse(R"({"name":"In\u0000visible","author":"\u00c5sa \"Q\" \ud83d\ude00","hash":"\u0000","version":1})");
  ASSERT_TRUE(m.ok);
  EXPECT_EQ(m.name, "In");
  EXPECT_EQ(m.author, "\xC3\x85sa \"Q\" \xF0\x9F\x98\x80");
  EXPECT_EQ(m.hash, "");
}

// Bounded before the parser builds anything: the size at the entry's
// length, the depth at the nesting, each with its neighbour accepted.
TEST(MetaParse, SizeAndDepthAreBoundedAndNamed) {
  const std::string prefix = R"({"name":"a","author":"b","hash":"c","version":1,"x":)";
  auto nested = [&](int levels) {  // the object itself is level 1
    return prefix + std::string(size_t(levels - 1), '[') + std::string(size_t(levels - 1), ']') + "}";
  };
  EXPECT_TRUE(Parse(nested(kMetaDepthLimit)).ok);
  const StyleMeta deep = Parse(nested(kMetaDepthLimit + 1));
  EXPECT_FALSE(deep.ok);
  EXPECT_EQ(deep.problem, MetaProblem::TooDeep);
  EXPECT_EQ(Parse(std::string(60000, '[')).problem, MetaProblem::TooDeep);

  std::string padded = prefix + "\"" + std::string(kMetaSizeLimit - prefix.size() - 3, 'p') + "\"}";
  ASSERT_EQ(padded.size(), kMetaSizeLimit);
  EXPECT_TRUE(Parse(padded).ok);
  padded.insert(padded.size() - 2, "p");
  EXPECT_EQ(Parse(padded).problem, MetaProblem::TooLarge);
  // The bound is the entry's, not the text's before a NUL.
  EXPECT_EQ(Parse(Object("1") + std::string(kMetaSizeLimit, '\0')).problem, MetaProblem::TooLarge);
}

TEST(MetaParse, RefusalsSayWhy) {
  EXPECT_EQ(Parse("{\"name\":").problem, MetaProblem::NotJson);
  EXPECT_NE(Parse("{\"name\":").detail.find("parse error"), std::string::npos);
  const StyleMeta array = Parse("[1]");
  EXPECT_EQ(array.problem, MetaProblem::NotAnObject);
  EXPECT_EQ(array.found, JsonType::Array);
  // Keys as the object holds them, the last of a repeated key counting.
  const StyleMeta keys =
      Parse(R"({"name":7,"hash":"x","hash":[1],"version":"2","version":"3","other":{"author":"a"}})");
  EXPECT_EQ(keys.problem, MetaProblem::BadKeys);
  EXPECT_EQ(keys.keys[kMetaName], JsonType::Number);
  EXPECT_EQ(keys.keys[kMetaAuthor], JsonType::Absent);
  EXPECT_EQ(keys.keys[kMetaHash], JsonType::Array);
  EXPECT_EQ(keys.keys[kMetaVersion], JsonType::String);
  EXPECT_EQ(keys.versionText, "3");
  // What was written, for a tool to compare with what a record kept.
  const StyleMeta written = Parse(R"({"name":"ab\u0000cd","author":"","hash":"h","version":2.50})");
  ASSERT_TRUE(written.ok);
  EXPECT_EQ(written.name, "ab");
  EXPECT_EQ(written.writtenLength[kMetaName], 5u);
  EXPECT_TRUE(written.writtenNul[kMetaName]);
  EXPECT_FALSE(written.writtenNul[kMetaHash]);
  EXPECT_EQ(written.versionWritten, "2.50");
  EXPECT_FALSE(written.versionKept);
  for (const char* kept : {"2", "2.0", "-7", "2147483647"}) EXPECT_TRUE(Parse(Object(kept)).versionKept) << kept;
  for (const char* lost : {"4294967298", "18446744073709551615", "-2147483649", "1e300"})
    EXPECT_FALSE(Parse(Object(lost)).versionKept) << lost;
  // Each refused key is named; a good key beside them is not.
  const StyleMeta mixed = Parse(R"({"name":"n","author":null,"hash":"h","version":false})");
  EXPECT_EQ(mixed.problem, MetaProblem::BadKeys);
  EXPECT_EQ(std::vector<bool>(std::begin(mixed.keyRefused), std::end(mixed.keyRefused)),
            (std::vector<bool>{false, true, false, false}));
  EXPECT_EQ(std::vector<bool>(std::begin(keys.keyRefused), std::end(keys.keyRefused)),
            (std::vector<bool>{true, true, true, true}));
  const StyleMeta last = Parse(R"({"name":5,"name":"Ink","author":"A","hash":"h","version":"1","version":true})");
  ASSERT_TRUE(last.ok);
  EXPECT_EQ(last.name, "Ink");
  EXPECT_EQ(last.version, 1);
}

}  // namespace
