// Opening packages through the loaded module.
#include "fixture.h"

using namespace lvs_test;

namespace {

using FootageTest = ModuleTest;

TEST_F(FootageTest, WorkedExampleFillsTheRecordAtItsOffsets) {
  const std::string path = Package("ink.lvs");
  AEIO_InSpecH inSpec = nullptr;
  ASSERT_EQ(m.Open(path, &inSpec), A_Err_NONE);

  const auto attrs = m.Host().InSpec(inSpec);
  ASSERT_TRUE(attrs && attrs->duration && attrs->alpha && attrs->interlace);
  EXPECT_EQ(attrs->depth, 32);
  EXPECT_EQ(attrs->width, 1280);
  EXPECT_EQ(attrs->height, 720);
  EXPECT_EQ(attrs->duration->value, 0);
  EXPECT_EQ(attrs->duration->scale, 100u);
  const uint8_t alpha[10] = {0x01, 0x01, 1, 0, 0, 0, 1, 2, 3, 1};
  EXPECT_EQ(std::memcmp(&*attrs->alpha, alpha, sizeof(alpha)), 0);
  const uint8_t fiel[18] = {0x4C, 0x45, 0x49, 0x46, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(&*attrs->interlace, fiel, sizeof(fiel)), 0);
  EXPECT_EQ(attrs->optionsSets, 1);

  const auto info = m.Host().Memory().Info(attrs->options);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->description, "LVS Options");
  EXPECT_EQ(info->size, kRecordSize);
  EXPECT_TRUE(info->cleared);
  EXPECT_EQ(info->owner, lvs_host::kRegisteredPluginID);
  EXPECT_EQ(info->lockCount, 0);

  const Bytes r = m.Record(inSpec);
  ASSERT_EQ(r.size(), kRecordSize);
  EXPECT_EQ(TextAt(r, kPath, 260), path);
  EXPECT_EQ(TextAt(r, kName, 255), "Ink");
  EXPECT_EQ(TextAt(r, kHash, 255), "9f2c");
  EXPECT_EQ(TextAt(r, kAuthor, 255), "A. B.");
  EXPECT_EQ(r[kSpare], 0);
  EXPECT_EQ(Bytes(r.begin() + kVersion, r.begin() + kVersion + 4), (Bytes{3, 0, 0, 0}));
  EXPECT_TRUE(AllZero(Bytes(r.begin() + kReserved, r.end())));
  EXPECT_TRUE(AllZero(Bytes(r.begin() + kName + 4, r.begin() + kHash))) << "nothing written after a terminator";
  m.Close(inSpec);
}

TEST_F(FootageTest, PathLimitIs259BytesOfUtf8) {
  const std::string base = scratch.Dir().string() + "/";
  ASSERT_LT(base.size(), 100u);
  auto pathOf = [&](size_t total, const std::string& tail) {
    const size_t fill = total - base.size() - tail.size() - 1;
    return base + std::string(fill / 2, 'd') + "/" + std::string(fill - fill / 2, 'f') + tail;
  };
  // '%' before letters (no format string) and a character outside the basic plane.
  const std::string fits = pathOf(259, "%s%n\xF0\x9F\x8E\xA8.lvs");
  Package(fits.substr(base.size()));
  EXPECT_EQ(TextAt(m.OpenRecord(fits), kPath, 260), fits);

  // 260 bytes ending in a two-byte character: no cut of it names the file.
  const std::string tooLong = pathOf(260, "\xC3\xA9.lvs");
  ASSERT_EQ(tooLong.size(), 260u);
  Package(tooLong.substr(base.size()));
  AEIO_InSpecH inSpec = nullptr;
  EXPECT_EQ(m.Open(tooLong, &inSpec), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_TRUE(AllZero(m.Record(inSpec))) << "reset record attached";
  m.Close(inSpec);

  // A surrogate without its partner is no character: replaced by U+FFFD it
  // would open this other package.
  Package("\xEF\xBF\xBD.lvs");
  for (const std::u16string& tail : {std::u16string(u"\xD83D.lvs"), std::u16string(u"\xDE00.lvs")}) {
    inSpec = m.Host().NewInSpec();
    EXPECT_EQ(m.Host().Calls().InitInSpecFromFile(Utf16(base) + tail, inSpec), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_TRUE(AllZero(m.Record(inSpec)));
    m.Close(inSpec);
  }
}

TEST_F(FootageTest, UnusableMetadataFailsWithTheResetRecordAttached) {
  const std::vector<std::string> paths = {
      Package("password.lvs", kMeta, "another password"), Package("notjson.lvs", "{name: Ink}"),
      scratch.Package("othernames.lvs", {Sealed("Meta", ToBytes(kMeta)), {"meta.json", ToBytes(kMeta)}}),
      scratch.Dir().string(),  // a directory, not a file
  };
  for (const std::string& path : paths) {
    AEIO_InSpecH inSpec = nullptr;
    EXPECT_EQ(m.Open(path, &inSpec), PF_Err_INTERNAL_STRUCT_DAMAGED) << path;
    const auto attrs = m.Host().InSpec(inSpec);
    EXPECT_EQ(attrs->depth, A_short(32)) << "footage still declared: " << path;
    EXPECT_TRUE(AllZero(m.Record(inSpec))) << path;
    m.Close(inSpec);
  }
}

TEST_F(FootageTest, TextsAreCutOnCharacterBoundariesAndEndAtNul) {
  std::string name, author, hash(300, 'h');
  for (int i = 0; i < 100; ++i) name += "\xE2\x82\xAC";  // three bytes each
  for (int i = 0; i < 200; ++i) author += "\xC3\xA9";    // two bytes each
  const std::string meta =
      R"({"name":")" + name + R"(","author":")" + author + R"(","hash":")" + hash + R"(","version":-2,"x":"\u0000"})";
  const Bytes r = m.OpenRecord(Package("long.lvs", meta));
  EXPECT_EQ(TextAt(r, kName, 255), name.substr(0, 252));
  EXPECT_EQ(TextAt(r, kAuthor, 255), author.substr(0, 254));
  EXPECT_EQ(TextAt(r, kHash, 255), hash.substr(0, 254));
  EXPECT_EQ(Bytes(r.begin() + kVersion, r.begin() + kVersion + 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(r[kSpare], 0);
  EXPECT_TRUE(AllZero(Bytes(r.begin() + kReserved, r.end())));

  // Plain (unencrypted) metadata whose text ends at a NUL byte.
  const std::string withNul = std::string(kMeta) + std::string("\0\xFF\xFE not json", 12);
  EXPECT_EQ(TextAt(m.OpenRecord(Package("plain.lvs", withNul, "")), kName, 255), "Ink");
}

}  // namespace

namespace {

// The info callback and the three that leave the work to the host: fixed
// answers, nothing written, no host call.
TEST_F(FootageTest, InfoTextsAndDefaultAnswersNeedNoHostCall) {
  AEIO_InSpecH ink = nullptr, other = nullptr;
  ASSERT_EQ(m.Open(Package("ink.lvs"), &ink), A_Err_NONE);
  ASSERT_EQ(m.Open(Package("other.lvs", R"({"name":"Other","author":"C","hash":"1","version":9})"), &other),
            A_Err_NONE);
  const Bytes record = m.Record(ink);
  m.Host().Faults().ResetCounts();
  for (AEIO_InSpecH inSpec : {ink, other}) {
    // The host's record is 192 bytes: the texts at 0, 32 and 64, each in a
    // field of 32, 32 and 128 (the host's fences catch a write past them).
    AEIO_Verbiage verbiage;
    EXPECT_EQ(m.Host().Calls().GetInSpecInfo(inSpec, &verbiage), A_Err_NONE);
    const auto* bytes = reinterpret_cast<const char*>(&verbiage);
    EXPECT_STREQ(bytes + 0, "Lumivastrin Styles Importer");
    EXPECT_STREQ(bytes + 32, "LVS");
    EXPECT_STREQ(bytes + 64, "To use with Lumivastrin Styles");

    const A_Time time = {5, 100};
    A_LRect extent = {-7, -7, -7, -7};
    EXPECT_EQ(m.Host().Calls().GetActiveExtent(inSpec, time, &extent), 9992);
    EXPECT_EQ(extent.left, -7);
    EXPECT_EQ(extent.top, -7);
    EXPECT_EQ(extent.right, -7);
    EXPECT_EQ(extent.bottom, -7);
    A_Boolean found = 0x5A;
    A_Time next = {-7, 7};
    EXPECT_EQ(m.Host().Calls().InqNextFrameTime(inSpec, time, 1, &found, &next), 9992);
    EXPECT_EQ(found, 0x5A);
    EXPECT_EQ(next.value, -7);
    EXPECT_EQ(next.scale, 7u);
    EXPECT_EQ(m.Host().Calls().CloseSourceFiles(inSpec), A_Err_NONE);
  }
  EXPECT_EQ(m.Host().Faults().TotalCalls(), 0u);
  EXPECT_EQ(m.Record(ink), record) << "closing the source files leaves the record attached";
  m.Close(ink);
  m.Close(other);
}

// Each attribute call that fails stops the ones after it; the metadata is
// still read into the record, and the failure is the open's result.
TEST_F(FootageTest, FailedAttributeSkipsTheRestAndIsTheResult) {
  const std::string path = Package("ink.lvs");
  const char* order[] = {"AEGP_SetInSpecDepth", "AEGP_SetInSpecDuration", "AEGP_SetInSpecDimensions",
                         "AEGP_SetInSpecAlphaLabel", "AEGP_SetInSpecInterlaceLabel"};
  for (size_t failing = 0; failing < std::size(order); ++failing) {
    SCOPED_TRACE(order[failing]);
    m.Host().Faults().ResetCounts();
    m.Host().Faults().FailNth(order[failing], 1, 4321);
    AEIO_InSpecH inSpec = nullptr;
    EXPECT_EQ(m.Open(path, &inSpec), 4321);
    m.Host().Faults().Clear();
    for (size_t k = 0; k < std::size(order); ++k)
      EXPECT_EQ(m.Host().Faults().Calls(order[k]), k <= failing ? 1u : 0u) << order[k];
    EXPECT_EQ(TextAt(m.Record(inSpec), kName, 255), "Ink");
    m.Close(inSpec);
  }
}

}  // namespace
