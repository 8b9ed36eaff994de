// Reading package entries in every form (lvs_maker, Info-ZIP, 7-Zip) and
// every way a package can be unusable.
#include <cstdlib>
#include <fstream>
#include <random>

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
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The archive with both records of `name` (local, then central; names are
// unique in these archives) claiming `size` uncompressed bytes.
Bytes WithRecordedSize(Bytes b, const std::string& name, uint32_t size) {
  size_t at = 0;
  for (size_t field : {8, 22}) {  // the size field, this far before the name
    at = size_t(std::search(b.begin() + at, b.end(), name.begin(), name.end()) - b.begin());
    for (int i = 0; i < 4 && at < b.size(); ++i) b[at - field + i] = uint8_t(size >> (8 * i));
    at += name.size();
  }
  return b;
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
  int Shell(const std::string& command) const {
    return std::system(("cd '" + scratch.Dir().string() + "' && " + command).c_str());
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
      "p.lvs", {{"meta", text, form.method, password}, {"prv", noise, form.method, password}, {"empty", {}, form.method, password}},
      {form.zip64});
  for (const auto& [name, expected] : {std::make_pair("meta", text), std::make_pair("prv", noise)}) {
    ASSERT_EQ(LVS_GetFileSize(path.c_str(), name), int32_t(expected.size())) << name;
    // A larger buffer than needed: bytes past the entry stay untouched.
    Bytes out(expected.size() + 16, 0xA5);
    ASSERT_EQ(LVS_ReadFile(path.c_str(), name, out.data(), out.size()), 0) << name;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin())) << name;
    EXPECT_EQ(out.back(), 0xA5) << name;
  }
  EXPECT_EQ(LVS_GetFileSize(path.c_str(), "empty"), 0);
  EXPECT_EQ(LVS_ReadFile(path.c_str(), "empty", nullptr, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(AllForms, PackageFormTest,
                         ::testing::Values(Form{Method::Store, false, false}, Form{Method::Deflate, true, false},
                                           Form{Method::Store, true, true}, Form{Method::Deflate, false, true}));

TEST_F(PackageTest, FilesThatAreNoPackageFail) {
  const Bytes good = Slurp(scratch.Package("good.lvs", "{}", RandomBytes(5000)));
  Spit(scratch.Path("text.lvs"), TextBytes(4000));
  Spit(scratch.Path("empty.lvs"), {});
  Spit(scratch.Path("head.lvs"), Bytes(good.begin(), good.begin() + good.size() / 2));
  Spit(scratch.Path("tail.lvs"), Bytes(good.begin(), good.end() - 10));
  fs::create_directories(scratch.Path("dir.lvs"));
  for (const char* file : {"missing.lvs", "text.lvs", "empty.lvs", "head.lvs", "tail.lvs", "dir.lvs"}) {
    Bytes out(8192);
    EXPECT_EQ(LVS_GetFileSize(scratch.Path(file).c_str(), "prv"), 0) << file;
    EXPECT_EQ(LVS_ReadFile(scratch.Path(file).c_str(), "prv", out.data(), out.size()), kReadFileFailed) << file;
  }
  Bytes out(1);
  EXPECT_EQ(LVS_GetFileSize(nullptr, "prv"), 0);
  EXPECT_EQ(LVS_ReadFile(scratch.Path("good.lvs").c_str(), nullptr, out.data(), out.size()), kReadFileFailed);
  EXPECT_EQ(LVS_ReadFile(scratch.Path("good.lvs").c_str(), "meta", nullptr, 2), kReadFileFailed);
}

TEST_F(PackageTest, OnlyTheExactCaseSensitiveNameIsTheEntry) {
  const std::string near = scratch.Package("near.lvs", {{"Meta", TextBytes(10)}, {"meta.json", TextBytes(12)},
                                                        {"styles/meta", TextBytes(13)}, {"PRV", TextBytes(16)}});
  for (const char* name : {"meta", "prv", "met", ""}) ExpectRefused(near, name, 0);
  // Beside its case-twisted siblings the real entry is found, in a path with
  // non-ASCII characters and percent signs.
  const std::string both = scratch.Package("Stile für 100% Grün/Lumière %s %n.lvs",
                                           {{"META", TextBytes(30)}, {"meta", TextBytes(17)}, {"Meta", TextBytes(40)}});
  Bytes out;
  ASSERT_EQ(ReadAll(both, "meta", &out), 0);
  EXPECT_EQ(out, TextBytes(17));
}

TEST_F(PackageTest, ForeignPasswordDamageAndUnknownMethodsFailTheRead) {
  for (Method method : {Method::Store, Method::Deflate}) {
    ExpectRefused(scratch.Package("foreign.lvs", {{"prv", RandomBytes(7000), method, "not the password"}}), "prv", 7000);

    const Bytes original = Slurp(scratch.Package("m.lvs", {{"meta", TextBytes(5000), method, kPackagePassword}}));
    // A flipped data byte: the CRC-32 no longer matches.
    Bytes crc = original;
    crc[size_t(std::search(crc.begin(), crc.end(), "meta", "meta" + 4) - crc.begin()) + 4 + 100] ^= 0x20;
    Spit(scratch.Path("crc.lvs"), crc);
    ExpectRefused(scratch.Path("crc.lvs"), "meta", 5000);
    // An entry delivering other than its recorded size; a canary behind the
    // reported capacity must survive.
    for (uint32_t recorded : {4999u, 5001u}) {
      Spit(scratch.Path("len.lvs"), WithRecordedSize(original, "meta", recorded));
      ASSERT_EQ(LVS_GetFileSize(scratch.Path("len.lvs").c_str(), "meta"), int32_t(recorded));
      Bytes out(recorded + 1, 0x5A);
      EXPECT_EQ(LVS_ReadFile(scratch.Path("len.lvs").c_str(), "meta", out.data(), recorded), kReadFileFailed);
      EXPECT_EQ(out.back(), 0x5A) << recorded;
    }
  }
}

TEST_F(PackageTest, SizesTheCallerMustNeverAllocateOrOverrun) {
  // Capacity one byte short, and none at all.
  const std::string path = scratch.Package("cap.lvs", {Sealed("prv", RandomBytes(4096))});
  Bytes out(4096, 0x11);
  EXPECT_EQ(LVS_ReadFile(path.c_str(), "prv", out.data(), 4095), kReadFileFailed);
  EXPECT_EQ(out[4095], 0x11);
  EXPECT_EQ(LVS_ReadFile(path.c_str(), "prv", out.data(), 0), kReadFileFailed);

  // Deflates to a few dozen KiB, inflates past the ceiling.
  const size_t huge = size_t(kEntrySizeCeiling) + 1;
  const std::string big = scratch.Package("huge.lvs", {{"prv", Bytes(huge, 0)}, {"meta", TextBytes(100)}});
  out.resize(huge);
  ExpectRefused(big, "prv", 0);
  // Sizes of 2^31 and more would turn negative as 32-bit lengths.
  for (uint32_t recorded : {0x80000000u, 0xFFFFFFFFu}) {
    Spit(scratch.Path("neg.lvs"), WithRecordedSize(Slurp(big), "meta", recorded));
    EXPECT_EQ(LVS_GetFileSize(scratch.Path("neg.lvs").c_str(), "meta"), 0) << recorded;
    EXPECT_EQ(LVS_ReadFile(scratch.Path("neg.lvs").c_str(), "meta", out.data(), out.size()), kReadFileFailed);
  }
  // The entry at the ceiling itself is still fine.
  const std::string edge = scratch.Package("edge.lvs", {{"prv", Bytes(size_t(kEntrySizeCeiling), 0)}});
  EXPECT_EQ(LVS_GetFileSize(edge.c_str(), "prv"), kEntrySizeCeiling);
  EXPECT_EQ(LVS_ReadFile(edge.c_str(), "prv", out.data(), out.size()), 0);
}

// Packages made by the tools package authors use, streamed ones (with data
// descriptors) and zip64 included.
TEST_F(PackageTest, InfoZipAnd7ZipPackages) {
  const Bytes meta = TextBytes(3000), prv = RandomBytes(150 * 1024, 3);
  Spit(scratch.Path("meta"), meta);
  Spit(scratch.Path("prv"), prv);
  const std::string pw = std::string("'") + kPackagePassword + "'";
  ASSERT_EQ(Shell("zip -q -e -P " + pw + " deflated.lvs meta prv && zip -q -0 -e -P " + pw + " stored.lvs meta prv &&"
                  " zip -q -fz -e -P " + pw + " zip64.lvs meta prv && zip -q -e -P " + pw + " - meta prv | cat > streamed.lvs"
                  " && 7z a -bd -tzip -mem=ZipCrypto -p" + pw + " 7crypto.lvs meta prv >/dev/null"),
            0);
  for (const char* file : {"deflated.lvs", "stored.lvs", "zip64.lvs", "streamed.lvs", "7crypto.lvs"}) {
    Bytes out;
    EXPECT_EQ(ReadAll(scratch.Path(file), "meta", &out), 0) << file;
    EXPECT_EQ(out, meta) << file;
    EXPECT_EQ(ReadAll(scratch.Path(file), "prv", &out), 0) << file;
    EXPECT_EQ(out, prv) << file;
  }
  // AES and a method other than store and deflate (7-Zip stores what does not
  // compress, so only the text entry keeps it).
  ASSERT_EQ(Shell("7z a -bd -tzip -mem=AES256 -p" + pw + " aes.lvs meta prv >/dev/null && 7z a -bd -tzip -mm=BZip2"
                  " bzip2.lvs meta prv >/dev/null"), 0);
  for (const char* file : {"aes.lvs", "bzip2.lvs"}) ExpectRefused(scratch.Path(file), "meta", int32_t(meta.size()));
}

}  // namespace
