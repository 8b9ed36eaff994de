// Opening packages through the loaded module: the declared footage, the
// record's bytes, the metadata rules, paths, and the small callbacks.
#include "footage_fixture.h"

namespace footage_test {
namespace {

TEST_F(FootageTest, WorkedExampleFillsTheRecordAtItsOffsets) {
  const std::string path = Package("ink.lvs", kInkMeta);
  AEIO_InSpecH inSpec = nullptr;
  ASSERT_EQ(Open(path, &inSpec), A_Err_NONE);

  const auto attrs = Host().InSpec(inSpec);
  ASSERT_TRUE(attrs);
  EXPECT_EQ(attrs->depth, A_short(32));
  ASSERT_TRUE(attrs->duration);
  EXPECT_EQ(attrs->duration->value, 0);
  EXPECT_EQ(attrs->duration->scale, 100u);
  EXPECT_EQ(attrs->width, A_long(1280));
  EXPECT_EQ(attrs->height, A_long(720));
  ASSERT_TRUE(attrs->alpha && attrs->interlace);
  const uint8_t alpha[10] = {0x01, 0x01, 1, 0, 0, 0, 1, 2, 3, 1};
  EXPECT_EQ(std::memcmp(&*attrs->alpha, alpha, sizeof(alpha)), 0);
  const uint8_t fiel[18] = {0x4C, 0x45, 0x49, 0x46, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(&*attrs->interlace, fiel, sizeof(fiel)), 0);
  EXPECT_EQ(attrs->optionsSets, 1);

  const auto info = Host().Memory().Info(attrs->options);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->description, "LVS Options");
  EXPECT_EQ(info->size, kRecordSize);
  EXPECT_TRUE(info->cleared);
  EXPECT_EQ(info->owner, lvshost::kRegisteredPluginID);
  EXPECT_EQ(info->lockCount, 0);

  const Bytes r = Record(inSpec);
  ASSERT_EQ(r.size(), kRecordSize);
  EXPECT_EQ(TextAt(r, kPath, 260), path);
  EXPECT_EQ(TextAt(r, kName, 255), "Ink");
  EXPECT_EQ(TextAt(r, kHash, 255), "9f2c");
  EXPECT_EQ(TextAt(r, kAuthor, 255), "A. B.");
  EXPECT_EQ(r[kSpare], 0);
  EXPECT_EQ(Bytes(r.begin() + kVersion, r.begin() + kVersion + 4), (Bytes{3, 0, 0, 0}));
  EXPECT_TRUE(AllZero(Bytes(r.begin() + kReserved, r.end())));
  // Nothing but the texts was written: every byte after each terminator is 0.
  EXPECT_TRUE(AllZero(Bytes(r.begin() + kName + 4, r.begin() + kHash)));

  Close(inSpec);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, VersionIsStoredAsItsLow32Bits) {
  const struct {
    const char* json;
    Bytes bytes;
  } cases[] = {
      {"2.9", {2, 0, 0, 0}},
      {"true", {1, 0, 0, 0}},
      {"false", {0, 0, 0, 0}},
      {"-1", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"4294967297", {1, 0, 0, 0}},
      {"1e300", {0, 0, 0, 0}},
      {"-2147483649", {0xFF, 0xFF, 0xFF, 0x7F}},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string meta = std::string(R"({"name":"n","author":"a","hash":"h","version":)") + c.json + "}";
    const Bytes r = OpenRecord(Package("v" + std::to_string(n++) + ".lvs", meta));
    ASSERT_EQ(r.size(), kRecordSize) << c.json;
    EXPECT_EQ(Bytes(r.begin() + kVersion, r.begin() + kVersion + 4), c.bytes) << c.json;
  }
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, PathIsKeptAsTheHostGaveIt) {
  // A percent sign before a letter, accents, CJK and a character outside the
  // basic plane (a surrogate pair in UTF-16).
  const char* names[] = {"100%d done/style.lvs", "%s%n%x.lvs", "Ünïcødé/日本語 \xF0\x9F\x8E\xA8.lvs"};
  for (const char* name : names) {
    const std::string path = Package(name, kInkMeta);
    const Bytes r = OpenRecord(path);
    EXPECT_EQ(TextAt(r, kPath, 260), path);
    EXPECT_EQ(TextAt(r, kName, 255), "Ink") << "the package was read";
  }
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, UnpairedSurrogateBecomesReplacementCharacter) {
  const std::string stored = Package("a\xEF\xBF\xBD" "b.lvs", kInkMeta);
  std::u16string path = Utf16((dir_ / "a").string());
  path += char16_t(0xDC01);  // a low surrogate with no high one before it
  path += u"b.lvs";
  AEIO_InSpecH inSpec = Host().NewInSpec();
  ASSERT_EQ(Cb().AEIO_InitInSpecFromFile(Host().InData(), reinterpret_cast<const A_UTF16Char*>(path.c_str()), inSpec),
            A_Err_NONE);
  EXPECT_EQ(TextAt(Record(inSpec), kPath, 260), stored);
  Close(inSpec);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, PathLimitIs259BytesOfUtf8) {
  const std::string base = dir_.string() + "/";
  ASSERT_LT(base.size(), 100u);
  // Two directory levels keep each name under the file system's limit.
  auto pathOf = [&](size_t total, const std::string& tail) {
    const size_t fill = total - base.size() - tail.size() - 1;
    return base + std::string(fill / 2, 'd') + "/" + std::string(fill - fill / 2, 'f') + tail;
  };
  const std::string fits = pathOf(259, ".lvs");
  ASSERT_EQ(fits.size(), 259u);
  Package(fits.substr(base.size()), kInkMeta);
  EXPECT_EQ(TextAt(OpenRecord(fits), kPath, 260), fits);

  // 260 bytes, the last character taking two: the file exists, but no cut of
  // its path names it.
  const std::string tooLong = pathOf(260, "\xC3\xA9.lvs");
  ASSERT_EQ(tooLong.size(), 260u);
  Package(tooLong.substr(base.size()), kInkMeta);
  AEIO_InSpecH inSpec = nullptr;
  EXPECT_EQ(Open(tooLong, &inSpec), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_TRUE(AllZero(Record(inSpec))) << "reset record attached";
  Close(inSpec);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, UnusableMetadataFailsWithTheResetRecordAttached) {
  std::vector<std::string> paths = {
      Package("password.lvs", kInkMeta, "another password"),
      Package("notjson.lvs", "{name: Ink}"),
      Package("array.lvs", std::string("[") + kInkMeta + "]"),
      Package("nohash.lvs", R"({"name":"Ink","author":"A. B.","version":3})"),
      Package("stringversion.lvs", R"({"name":"Ink","author":"A. B.","hash":"9f2c","version":"2"})"),
      Package("empty.lvs", ""),
      Package("trailing.lvs", std::string(kInkMeta) + " x"),
      (dir_ / "missing.lvs").string(),
  };
  {
    const std::string meta = kInkMeta;
    const std::string path = (dir_ / "nometa.lvs").string();
    ASSERT_TRUE(lvs_maker::WritePackage(
        path, {lvs_maker::Entry("Meta", Bytes(meta.begin(), meta.end()), lvs_maker::Method::Deflate, kPackagePassword),
               lvs_maker::Entry("meta.json", Bytes(meta.begin(), meta.end()))}));
    paths.push_back(path);
  }
  paths.push_back(dir_.string());  // a directory, not a file

  for (const std::string& path : paths) {
    AEIO_InSpecH inSpec = nullptr;
    EXPECT_EQ(Open(path, &inSpec), PF_Err_INTERNAL_STRUCT_DAMAGED) << path;
    const auto attrs = Host().InSpec(inSpec);
    EXPECT_EQ(attrs->optionsSets, 1) << path;
    EXPECT_EQ(attrs->depth, A_short(32)) << "footage still declared: " << path;
    EXPECT_TRUE(AllZero(Record(inSpec))) << path;
    Close(inSpec);
  }
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, PlainMetadataAndNulTerminatedTextAreRead) {
  const std::string withNul = std::string(kInkMeta) + std::string("\0\xFF\xFE not json", 12);
  const Bytes plain = OpenRecord(Package("plain.lvs", withNul, ""));
  EXPECT_EQ(TextAt(plain, kName, 255), "Ink");
  EXPECT_EQ(VersionOf(plain), 3);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, LongTextsAreCutOnCharacterBoundaries) {
  std::string name, author, hash(300, 'h');
  for (int i = 0; i < 100; ++i) name += "\xE2\x82\xAC";  // three bytes each
  for (int i = 0; i < 200; ++i) author += "\xC3\xA9";    // two bytes each
  const std::string meta = R"({"name":")" + name + R"(","author":")" + author + R"(","hash":")" + hash +
                           R"(","version":7,"x":"\u0000"})";
  const Bytes r = OpenRecord(Package("long.lvs", meta));
  EXPECT_EQ(TextAt(r, kName, 255), name.substr(0, 252));
  EXPECT_EQ(TextAt(r, kAuthor, 255), author.substr(0, 254));
  EXPECT_EQ(TextAt(r, kHash, 255), hash.substr(0, 254));
  EXPECT_EQ(VersionOf(r), 7);
  EXPECT_EQ(r[kSpare], 0);
  EXPECT_TRUE(AllZero(Bytes(r.begin() + kReserved, r.end())));
}

TEST_F(FootageTest, AttributeFailureStillReadsAndAttaches) {
  const std::string path = Package("ink.lvs", kInkMeta);
  Host().Faults().FailNth("AEGP_SetInSpecDimensions", 1, 77);
  AEIO_InSpecH inSpec = nullptr;
  EXPECT_EQ(Open(path, &inSpec), 77);
  auto attrs = Host().InSpec(inSpec);
  EXPECT_TRUE(attrs->depth && attrs->duration);
  EXPECT_FALSE(attrs->width || attrs->alpha || attrs->interlace) << "later attributes skipped";
  EXPECT_EQ(TextAt(Record(inSpec), kName, 255), "Ink");
  Close(inSpec);

  // A read failure outranks the attribute's code.
  const std::string foreign = Package("foreign.lvs", kInkMeta, "another password");
  Host().Faults().FailNth("AEGP_SetInSpecDepth", 1, 77);
  EXPECT_EQ(Open(foreign, &inSpec), PF_Err_INTERNAL_STRUCT_DAMAGED);
  attrs = Host().InSpec(inSpec);
  EXPECT_FALSE(attrs->depth || attrs->duration);
  EXPECT_TRUE(AllZero(Record(inSpec)));
  Close(inSpec);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, DisposeFreesTheRecordOrNothing) {
  AEIO_InSpecH inSpec = Host().NewInSpec();
  Host().Faults().ResetCounts();
  EXPECT_EQ(Cb().AEIO_DisposeInSpec(Host().InData(), inSpec), A_Err_NONE);
  EXPECT_EQ(Host().Faults().Calls("AEGP_FreeMemHandle"), 0u);
  Host().DeleteInSpec(inSpec);

  ASSERT_EQ(Open(Package("ink.lvs", kInkMeta), &inSpec), A_Err_NONE);
  const AEGP_MemHandle options = Options(inSpec);
  Close(inSpec);
  EXPECT_FALSE(Host().Memory().IsLive(options));
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, InfoTextsAreTheSameForEveryPackage) {
  const char* metas[] = {kInkMeta, R"({"name":"Other","author":"X","hash":"00","version":9})"};
  int n = 0;
  for (const char* meta : metas) {
    AEIO_InSpecH inSpec = nullptr;
    ASSERT_EQ(Open(Package("p" + std::to_string(n++) + ".lvs", meta), &inSpec), A_Err_NONE);
    AEIO_Verbiage verbiage;
    std::memset(&verbiage, 'x', sizeof(verbiage));
    EXPECT_EQ(Cb().AEIO_GetInSpecInfo(Host().InData(), inSpec, &verbiage), A_Err_NONE);
    EXPECT_STREQ(verbiage.name, "Lumivastrin Styles Importer");
    EXPECT_STREQ(verbiage.type, "LVS");
    EXPECT_STREQ(verbiage.sub_type, "To use with Lumivastrin Styles");
    Close(inSpec);
  }
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(FootageTest, ExtentAndFrameTimeAreLeftToTheHost) {
  AEIO_InSpecH inSpec = nullptr;
  ASSERT_EQ(Open(Package("ink.lvs", kInkMeta), &inSpec), A_Err_NONE);
  Host().Faults().ResetCounts();

  const A_Time time = {5, 30};
  A_LRect extent = {-7, -8, -9, -10};
  EXPECT_EQ(Cb().AEIO_GetActiveExtent(Host().InData(), inSpec, &time, &extent), AEIO_Err_USE_DFLT_CALLBACK);
  EXPECT_EQ(extent.left, -7);
  EXPECT_EQ(extent.top, -8);
  EXPECT_EQ(extent.right, -9);
  EXPECT_EQ(extent.bottom, -10);

  for (AEIO_TimeDir dir : {A_short(-1), A_short(0), A_short(1)}) {
    A_Boolean found = 0xA5;
    A_Time next = {-3, 77};
    EXPECT_EQ(Cb().AEIO_InqNextFrameTime(Host().InData(), inSpec, &time, dir, &found, &next),
              AEIO_Err_USE_DFLT_CALLBACK);
    EXPECT_EQ(found, 0xA5);
    EXPECT_EQ(next.value, -3);
    EXPECT_EQ(next.scale, 77u);
  }
  EXPECT_EQ(Cb().AEIO_GetActiveExtent(nullptr, nullptr, nullptr, nullptr), AEIO_Err_USE_DFLT_CALLBACK);
  EXPECT_EQ(Cb().AEIO_InqNextFrameTime(nullptr, nullptr, nullptr, 0, nullptr, nullptr), AEIO_Err_USE_DFLT_CALLBACK);
  EXPECT_EQ(Cb().AEIO_CloseSourceFiles(Host().InData(), inSpec), A_Err_NONE);
  EXPECT_EQ(Host().Faults().TotalCalls(), 0u) << "no host call at all";
  Close(inSpec);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

}  // namespace
}  // namespace footage_test
