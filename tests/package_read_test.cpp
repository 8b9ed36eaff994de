// Reading package entries in every form, and the ways a package is unusable.
#include <fstream>
#include <random>

#include "ZipReader.h"
#include "fixture.h"

using namespace lvstest;
using lvs_maker::Method;

namespace {

Bytes RandomBytes(size_t count, unsigned seed = 7) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// Compressible but not trivial: text-like lines.
Bytes TextBytes(size_t count) {
  std::string text;
  for (size_t i = 0; text.size() < count; ++i) text += "{\"line\": " + std::to_string(i * 7919 % 1000) + "}\n";
  return Bytes(text.begin(), text.begin() + count);
}

Bytes Slurp(const std::string& path) {
  Bytes bytes;
  lvs_maker::ReadWholeFile(path, &bytes);
  return bytes;
}

void Spit(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary) << std::string(bytes.begin(), bytes.end());
}

class PackageTest : public ::testing::Test {
 protected:
  // Reads the whole entry with exactly the reported size as capacity.
  int32_t ReadAll(const std::string& path, const char* name, Bytes* out) {
    out->assign(size_t(std::max(LVS_GetFileSize(path.c_str(), name), 0)), 0);
    return LVS_ReadFile(path.c_str(), name, out->data(), out->size());
  }
  // The entry reports its size but is never read.
  void ExpectRefused(const std::string& path, const char* name, int32_t size) {
    Bytes out(size_t(size) + 1);
    EXPECT_EQ(LVS_GetFileSize(path.c_str(), name), size) << path << " " << name;
    EXPECT_EQ(LVS_ReadFile(path.c_str(), name, out.data(), out.size()), kReadFileFailed) << path << " " << name;
  }
  Scratch scratch;
};

struct Form {
  Method method;
  bool encrypted, zip64;
};
class PackageFormTest : public PackageTest, public ::testing::WithParamInterface<Form> {};

TEST_P(PackageFormTest, ReadsBackExactBytesAndNothingMore) {
  const Form form = GetParam();
  const std::string password = form.encrypted ? kPackagePassword : "";
  const Bytes text = TextBytes(1000), noise = RandomBytes(300 * 1024);
  const std::string path = scratch.Package(
      "p.lvs", {{"meta", text, form.method, password}, {"prv", noise, form.method, password}}, {form.zip64});
  for (const auto& [name, expected] : {std::make_pair("meta", text), std::make_pair("prv", noise)}) {
    ASSERT_EQ(LVS_GetFileSize(path.c_str(), name), int32_t(expected.size())) << name;
    // A larger buffer than needed: bytes past the entry stay untouched.
    Bytes out(expected.size() + 16, 0xA5);
    ASSERT_EQ(LVS_ReadFile(path.c_str(), name, out.data(), out.size()), 0) << name;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin())) << name;
    EXPECT_EQ(out.back(), 0xA5) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(AllForms, PackageFormTest,
                         ::testing::Values(Form{Method::Store, false, false}, Form{Method::Deflate, true, false},
                                           Form{Method::Store, true, true}, Form{Method::Deflate, false, true}),
                         [](const ::testing::TestParamInfo<Form>& info) {
                           const Form& f = info.param;
                           return std::string(f.method == Method::Store ? "Stored" : "Deflated") +
                                  (f.encrypted ? "Encrypted" : "Plain") + (f.zip64 ? "Zip64" : "Zip32");
                         });

TEST_F(PackageTest, FilesThatAreNoPackageFail) {
  const Bytes good = Slurp(scratch.Package("good.lvs", "{}", RandomBytes(5000)));
  Spit(scratch.Path("text.lvs"), TextBytes(4000));
  Spit(scratch.Path("empty.lvs"), {});
  Spit(scratch.Path("head.lvs"), Bytes(good.begin(), good.begin() + good.size() / 2));
  fs::create_directories(scratch.Path("dir.lvs"));
  Bytes noEntries(22, 0);  // an archive of nothing but its end record
  std::copy_n("PK\5\6", 4, noEntries.begin());
  Spit(scratch.Path("none.lvs"), noEntries);
  for (const char* file : {"missing.lvs", "text.lvs", "empty.lvs", "head.lvs", "dir.lvs", "none.lvs"}) {
    Bytes out(8192);
    EXPECT_EQ(LVS_GetFileSize(scratch.Path(file).c_str(), "prv"), 0) << file;
    EXPECT_EQ(LVS_ReadFile(scratch.Path(file).c_str(), "prv", out.data(), out.size()), kReadFileFailed) << file;
  }
}

TEST_F(PackageTest, OnlyTheExactCaseSensitiveNameIsTheEntry) {
  const std::string near = scratch.Package(
      "near.lvs",
      {{"Meta", TextBytes(10)}, {"meta.json", TextBytes(12)}, {"styles/meta", TextBytes(13)}, {"PRV", TextBytes(16)}});
  for (const char* name : {"meta", "prv", "met", ""}) ExpectRefused(near, name, 0);
  // Found beside its case-twisted siblings, in a path with non-ASCII and '%'.
  const std::string both = scratch.Package("Stile für 100% Grün/Lumière %s %n.lvs",
                                           {{"META", TextBytes(30)}, {"meta", TextBytes(17)}, {"Meta", TextBytes(40)}});
  Bytes out;
  ASSERT_EQ(ReadAll(both, "meta", &out), 0);
  EXPECT_EQ(out, TextBytes(17));
}

TEST_F(PackageTest, ForeignPasswordAndDamageFailTheRead) {
  for (Method method : {Method::Store, Method::Deflate}) {
    ExpectRefused(scratch.Package("foreign.lvs", {{"prv", RandomBytes(7000), method, "not the password"}}), "prv",
                  7000);

    const Bytes original = Slurp(scratch.Package("m.lvs", {{"meta", TextBytes(5000), method, kPackagePassword}}));
    // A flipped data byte: the CRC-32 no longer matches.
    Bytes crc = original;
    crc[size_t(std::search(crc.begin(), crc.end(), "meta", "meta" + 4) - crc.begin()) + 4 + 100] ^= 0x20;
    Spit(scratch.Path("crc.lvs"), crc);
    ExpectRefused(scratch.Path("crc.lvs"), "meta", 5000);
  }
}

// The end record is found behind the longest comment, even one that holds
// an end record of its own; the directory is bounded; and a path that is no
// regular file is refused at once, without waiting on a pipe or a device.
TEST_F(PackageTest, EndRecordDirectoryBoundsAndNonFiles) {
  const Bytes text = TextBytes(3000);
  const Bytes plain = Slurp(scratch.Package("c.lvs", {Sealed("prv", text)}));
  ASSERT_EQ(plain[plain.size() - 22], 'P');  // no comment yet
  for (size_t length : {size_t(65514), size_t(65535)}) {
    Bytes commented = plain;
    commented[commented.size() - 2] = uint8_t(length), commented[commented.size() - 1] = uint8_t(length >> 8);
    Bytes comment(length, 'c');
    const Bytes fake = {'P', 'K', 5, 6, 0, 0, 0, 0, 9, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::copy(fake.begin(), fake.end(), comment.begin() + 100);
    commented.insert(commented.end(), comment.begin(), comment.end());
    Spit(scratch.Path("long.lvs"), commented);
    Bytes out;
    ASSERT_EQ(ReadAll(scratch.Path("long.lvs"), "prv", &out), 0) << length;
    EXPECT_EQ(out, text);
  }

  for (size_t count : {size_t(1024), size_t(1025)}) {
    std::vector<lvs_maker::Entry> entries(count - 1, lvs_maker::Entry("x", {}, Method::Store));
    for (size_t i = 0; i < entries.size(); ++i) entries[i].name = "other/" + std::to_string(i);
    entries.push_back(Sealed("prv", text));
    const std::string path = scratch.Package("many.lvs", entries);
    EXPECT_EQ(LVS_GetFileSize(path.c_str(), "prv"), count <= kMaxArchiveEntries ? 3000 : 0) << count;
  }

  const lvs_test::PipePath pipe(scratch.Dir().string());
  ASSERT_FALSE(pipe.Path().empty());
  Bytes out(16);
  EXPECT_EQ(LVS_GetFileSize(pipe.Path().c_str(), "prv"), 0);
  EXPECT_EQ(LVS_ReadFile(pipe.Path().c_str(), "prv", out.data(), out.size()), kReadFileFailed);
  for (const std::string& device : lvs_test::DevicePaths()) {
    EXPECT_EQ(LVS_GetFileSize(device.c_str(), "prv"), 0) << device;
    EXPECT_EQ(LVS_ReadFile(device.c_str(), "prv", out.data(), out.size()), kReadFileFailed) << device;
  }
}

// The archive's own reasons, which lvs words: a path that names nothing or
// no file is not a regular file, whatever the system.
TEST_F(PackageTest, ReasonsForAFileThatDoesNotOpen) {
  fs::create_directories(scratch.Path("folder.lvs"));
  const lvs_test::PipePath pipe(scratch.Dir().string());
  std::vector<std::string> paths = {scratch.Path("missing.lvs"), scratch.Path("folder.lvs"), pipe.Path(), ""};
  for (const std::string& device : lvs_test::DevicePaths()) paths.push_back(device);
  for (const std::string& path : paths) {
    const ZipArchive archive(path.c_str());
    EXPECT_FALSE(archive.IsOpen()) << path;
    EXPECT_EQ(archive.Problem(), ZipProblem::NotARegularFile) << path;
  }
  const ZipArchive none(nullptr);
  EXPECT_EQ(none.Problem(), ZipProblem::NotARegularFile);
}

// While a package is being read, other programs may write it, rename it and
// make a new one in its place; the reader goes on with the file it opened.
TEST_F(PackageTest, AnOpenPackageIsSharedWithOtherPrograms) {
  const Bytes text = TextBytes(3000);
  const std::string path = scratch.Package("shared.lvs", {Sealed("prv", text)});
  const Bytes original = Slurp(path);
  ZipArchive archive(path.c_str());
  ASSERT_TRUE(archive.IsOpen());
  EntryInfo info;
  ASSERT_TRUE(archive.Locate("prv", &info));

  {
    std::ofstream appended(path, std::ios::binary | std::ios::app);
    ASSERT_TRUE(appended.is_open());
    appended << "trailing bytes of another writer";
  }
  std::error_code error;
  fs::rename(path, scratch.Path("moved.lvs"), error);
  EXPECT_FALSE(error) << error.message();
  Spit(path, TextBytes(10));

  std::uint64_t start = 0;
  ASSERT_TRUE(archive.DataStart(info, &start));
  Bytes raw(size_t(info.compressedSize));
  ASSERT_TRUE(archive.ReadAt(start, raw.data(), raw.size()));
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), original.begin() + std::ptrdiff_t(start)));
  EXPECT_TRUE(archive.Close());
}

// A path of more than 260 characters (a deep folder) opens as any other,
// absolute or relative to the current folder.
TEST_F(PackageTest, PathsLongerThanTheOldWindowsLimitOpen) {
  std::string folder = scratch.Dir().string();
  while (folder.size() < 300) folder += "/a-folder-of-forty-characters-in-its-name";
  fs::create_directories(folder);
  const std::string path =
      scratch.Package(folder.substr(scratch.Dir().string().size() + 1) + "/deep.lvs", {Sealed("prv", TextBytes(500))});
  ASSERT_GT(path.size(), 300u);
  Bytes out;
  ASSERT_EQ(ReadAll(path, "prv", &out), 0) << path;
  EXPECT_EQ(out, TextBytes(500));

  const fs::path before = fs::current_path();
  fs::current_path(scratch.Dir());
  EXPECT_EQ(LVS_GetFileSize(path.substr(scratch.Dir().string().size() + 1).c_str(), "prv"), 500);
  fs::current_path(before);
}

TEST_F(PackageTest, CapacityOneShortOrNoneIsRefusedWithoutOverrun) {
  const std::string path = scratch.Package("cap.lvs", {Sealed("prv", RandomBytes(4096))});
  Bytes out(4096, 0x11);
  EXPECT_EQ(LVS_ReadFile(path.c_str(), "prv", out.data(), 4095), kReadFileFailed);
  EXPECT_EQ(out[4095], 0x11);
  EXPECT_EQ(LVS_ReadFile(path.c_str(), "prv", out.data(), 0), kReadFileFailed);
}

}  // namespace
