// Reading package entries in every form, and the ways a package is unusable.
#include <atomic>
#include <fstream>
#include <random>

#include <zlib.h>

#include "ZipReader.h"
#include "fixture.h"
#include "SameSamples.h"

using namespace lvs_test;
using lvs_maker::Method;

// Allocations of exactly this many bytes fail while it is not 0. Kept out of
// line, so that the compiler sees no malloc paired with delete.
std::atomic<size_t> gFailAllocationOf{0};

__attribute__((noinline)) void* operator new(size_t size) {
  void* block = size != 0 && size == gFailAllocationOf ? nullptr : std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  return block;
}
__attribute__((noinline)) void operator delete(void* block) noexcept { std::free(block); }
__attribute__((noinline)) void operator delete(void* block, size_t) noexcept { std::free(block); }

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

  LocalHeader local;
  ASSERT_TRUE(archive.DataStart(info, &local));
  const std::uint64_t start = local.dataOffset;
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

// --- The reader object: one open, a status with a cause for every answer ---

// The entry's directory record in an archive's bytes, or npos.
size_t CentralRecordOf(const Bytes& zip, const std::string& name) {
  const uint8_t signature[] = {'P', 'K', 1, 2};
  for (auto at = zip.begin(); (at = std::search(at, zip.end(), signature, signature + 4)) != zip.end(); ++at) {
    const size_t offset = size_t(at - zip.begin());
    if (offset + 46 + name.size() <= zip.size() && Le16At(zip, offset + 28) == name.size() &&
        std::equal(name.begin(), name.end(), zip.begin() + long(offset) + 46))
      return offset;
  }
  return std::string::npos;
}

// Sets a 16-bit field of the entry's local header and directory record
// alike: flags (local 6, directory 8) or method (8, 10).
void SetField(Bytes& zip, const std::string& name, size_t localOffset, uint32_t value) {
  for (size_t at : {LocalHeaderOf(zip, name) + localOffset, CentralRecordOf(zip, name) + localOffset + 2}) {
    zip[at] = uint8_t(value);
    zip[at + 1] = uint8_t(value >> 8);
  }
}

// The first byte of the entry's raw data (its cipher header, if any).
size_t DataOf(const Bytes& zip, const std::string& name) {
  const size_t at = LocalHeaderOf(zip, name);
  return at + 30 + Le16At(zip, at + 26) + Le16At(zip, at + 28);
}

struct Outcome {
  EntryStatus located, read;
  int32_t length;
};

Outcome ReadOutcome(const std::string& path, const std::string& name, size_t capacitySlack = 0) {
  const StylePackage package(path.c_str());
  const PackageEntry entry = package.Locate(name);
  Bytes out(entry.info.uncompressedSize <= uint64_t(kEntrySizeCeiling) ? size_t(entry.info.uncompressedSize) : 0);
  const size_t capacity = out.size() - std::min(out.size(), capacitySlack);
  return {entry.status, package.Read(entry, out.data(), capacity), entry.Length()};
}

std::string Name(EntryStatus status) { return EntryStatusName(status); }

// Sets a 32-bit field of the entry's local header and directory record
// alike: CRC (local 14, directory 16), sizes (18 and 22, 20 and 24).
void SetField32(Bytes& zip, const std::string& name, size_t localOffset, uint32_t value) {
  for (size_t at : {LocalHeaderOf(zip, name) + localOffset, CentralRecordOf(zip, name) + localOffset + 2})
    for (int k = 0; k < 4; ++k) zip[at + size_t(k)] = uint8_t(value >> (8 * k));
}

TEST_F(PackageTest, EveryFailureNamesItsCause) {
  using S = EntryStatus;
  const Bytes text = TextBytes(5000);
  const std::string good = scratch.Package("good.lvs", {Sealed("meta", text)});
  const Bytes made = Slurp(good);
  const auto variant = [&](const std::string& file, auto change) {
    Bytes bytes = made;
    change(bytes);
    Spit(scratch.Path(file), bytes);
    return scratch.Path(file);
  };
  const size_t data = DataOf(made, "meta");
  struct Case {
    std::string what, path, entry;
    Outcome expected;
    size_t capacitySlack = 0;
  };
  const std::vector<Case> cases = {
      {"good", good, "meta", {S::Ok, S::Ok, 5000}},
      {"one byte too little room", good, "meta", {S::Ok, S::TooLarge, 5000}, 1},
      {"no file", scratch.Path("gone.lvs"), "meta", {S::Unreadable, S::Unreadable, 0}},
      {"no zip archive",
       variant("text.lvs", [](Bytes& b) { b = TextBytes(3000); }),
       "meta",
       {S::Unreadable, S::Unreadable, 0}},
      {"other case", good, "Meta", {S::Missing, S::Missing, 0}},
      {"bzip2",
       variant("bzip2.lvs", [](Bytes& b) { SetField(b, "meta", 8, 12); }),
       "meta",
       {S::UnsupportedMethod, S::UnsupportedMethod, 5000}},
      {"AES",
       variant("aes.lvs", [](Bytes& b) { SetField(b, "meta", 8, 99); }),
       "meta",
       {S::StrongEncryption, S::StrongEncryption, 5000}},
      {"strong flag",
       variant("strong.lvs", [](Bytes& b) { SetField(b, "meta", 6, Le16At(b, 6) | 0x40); }),
       "meta",
       {S::StrongEncryption, S::StrongEncryption, 5000}},
      {"another password",
       scratch.ForeignPackage("foreign.lvs", {Sealed("meta", text, "another")}, "meta"),
       "meta",
       {S::Ok, S::WrongPassword, 5000}},
      {"a flipped byte",
       variant("flipped.lvs", [&](Bytes& b) { b[data + 12 + 100] ^= 0x20; }),
       "meta",
       {S::Ok, S::Damaged, 5000}},
      {"cut short",
       variant("cut.lvs", [&](Bytes& b) { b.resize(data + 40); }),
       "meta",
       {S::Unreadable, S::Unreadable, 0}},
  };
  for (const Case& c : cases) {
    const Outcome got = ReadOutcome(c.path, c.entry, c.capacitySlack);
    EXPECT_EQ(Name(got.located), Name(c.expected.located)) << c.what;
    EXPECT_EQ(Name(got.read), Name(c.expected.read)) << c.what;
    EXPECT_EQ(got.length, c.expected.length) << c.what;
  }
  // Plain entries are damaged by a flipped byte whatever their method.
  for (Method method : {Method::Store, Method::Deflate}) {
    Bytes plain = Slurp(scratch.Package("plain.lvs", {lvs_maker::Entry("meta", text, method)}));
    plain[DataOf(plain, "meta") + 100] ^= 0x20;
    Spit(scratch.Path("plain.lvs"), plain);
    EXPECT_EQ(Name(ReadOutcome(scratch.Path("plain.lvs"), "meta").read), Name(S::Damaged));
  }
  // A deflated entry recorded shorter than its stream, with the CRC of what
  // it records: it would deliver more than its size, so it is damaged.
  Bytes longer = Slurp(scratch.Package("longer.lvs", {lvs_maker::Entry("meta", text, Method::Deflate)}));
  SetField32(longer, "meta", 14, uint32_t(crc32(0, text.data(), 4000)));
  SetField32(longer, "meta", 22, 4000);
  Spit(scratch.Path("longer.lvs"), longer);
  EXPECT_EQ(Name(ReadOutcome(scratch.Path("longer.lvs"), "meta").read), Name(S::Damaged));
}

TEST_F(PackageTest, EntriesUpToTheCeilingAreReadAndNoneAbove) {
  for (int32_t size : {kEntrySizeCeiling, kEntrySizeCeiling + 1}) {
    const std::string path = scratch.Package("big.lvs", {Sealed("prv", Bytes(size_t(size), 0x11))});
    const Outcome got = ReadOutcome(path, "prv");
    const bool within = size <= kEntrySizeCeiling;
    EXPECT_EQ(Name(got.located), Name(within ? EntryStatus::Ok : EntryStatus::TooLarge)) << size;
    EXPECT_EQ(Name(got.read), Name(within ? EntryStatus::Ok : EntryStatus::TooLarge)) << size;
    EXPECT_EQ(LVS_GetFileSize(path.c_str(), "prv"), within ? size : 0) << size;
  }
}

// libzip ends each cipher header with its time's high byte and says so with
// flag bit 3; without that bit the byte should be the CRC's high byte.
TEST_F(PackageTest, TheCheckByteNamesTheCauseButNeverDecides) {
  const Bytes text = TextBytes(5000);
  const Bytes made = Slurp(scratch.Package("m.lvs", {Sealed("meta", text)}));
  ASSERT_TRUE(CipherHeaderChecks(made, "meta", kPackagePassword));
  const size_t local = LocalHeaderOf(made, "meta"), flipAt = DataOf(made, "meta") + 12 + 100;
  const auto outcome = [&](bool otherCheck, bool crcStyle, bool flip) {
    Bytes b = made;
    if (otherCheck) b[local + 11] ^= 0x40;  // the time the check byte is taken from
    if (crcStyle) b[local + 6] &= uint8_t(~8);
    if (flip) b[flipAt] ^= 0x20;
    Spit(scratch.Path("v.lvs"), b);
    EXPECT_EQ(CipherHeaderChecks(b, "meta", kPackagePassword), !otherCheck && !crcStyle);
    Bytes out(text.size());
    const StylePackage package(scratch.Path("v.lvs").c_str());
    const EntryStatus status = package.Read(package.Locate("meta"), out.data(), out.size());
    if (status == EntryStatus::Ok) {
      EXPECT_EQ(out, text);
    }
    return Name(status);
  };
  for (bool crcStyle : {false, true}) {
    SCOPED_TRACE(crcStyle ? "check byte from the CRC" : "check byte from the time");
    // Bytes that check are read whatever the header says.
    EXPECT_EQ(outcome(false, crcStyle, false), Name(EntryStatus::Ok));
    EXPECT_EQ(outcome(true, crcStyle, false), Name(EntryStatus::Ok));
    // Bytes that do not: damaged under a header that checks, else another password.
    EXPECT_EQ(outcome(false, crcStyle, true), Name(crcStyle ? EntryStatus::WrongPassword : EntryStatus::Damaged));
    EXPECT_EQ(outcome(true, crcStyle, true), Name(EntryStatus::WrongPassword));
  }
}

TEST_F(PackageTest, AnEntryReadInPiecesIsTheEntryReadWhole) {
  const Bytes noise = RandomBytes(70 * 1024), text = TextBytes(90 * 1024);
  for (const Form form : {Form{Method::Store, false, false}, Form{Method::Deflate, true, false},
                          Form{Method::Store, true, false}, Form{Method::Deflate, false, true}}) {
    const std::string password = form.encrypted ? kPackagePassword : "";
    const std::string path = scratch.Package(
        "p.lvs", {{"meta", text, form.method, password}, {"prv", noise, form.method, password}}, {form.zip64});
    // Both entries, in any pieces, through one open.
    const StylePackage package(path.c_str());
    for (const auto& [name, expected] : {std::make_pair("prv", noise), std::make_pair("meta", text)}) {
      for (size_t piece : {size_t(1), size_t(7), size_t(4096), size_t(65539), expected.size() + 5}) {
        EntryStream stream(package, package.Locate(name));
        Bytes got, buffer(piece);
        for (size_t n; (n = stream.Read(buffer.data(), piece)) > 0;)
          got.insert(got.end(), buffer.begin(), buffer.begin() + long(n));
        EXPECT_EQ(Name(stream.Finish()), Name(EntryStatus::Ok)) << name << " " << piece;
        EXPECT_TRUE(SameSamples(got, expected)) << name << " in pieces of " << piece;
      }
      // Finish reads what was left unread, to check the CRC.
      EntryStream half(package, package.Locate(name));
      Bytes buffer(expected.size() / 2);
      EXPECT_EQ(half.Read(buffer.data(), buffer.size()), buffer.size());
      EXPECT_EQ(Name(half.Finish()), Name(EntryStatus::Ok)) << name;
    }
  }
  // Damage late in an entry shows at Finish, even when the bytes before it were never asked for.
  Bytes damaged = Slurp(scratch.Package("d.lvs", {Sealed("prv", noise)}));
  damaged[DataOf(damaged, "prv") + 12 + noise.size() - 10] ^= 0x01;
  Spit(scratch.Path("d.lvs"), damaged);
  const StylePackage package(scratch.Path("d.lvs").c_str());
  EntryStream stream(package, package.Locate("prv"));
  Bytes first(100);
  EXPECT_EQ(stream.Read(first.data(), first.size()), first.size());
  EXPECT_TRUE(std::equal(first.begin(), first.end(), noise.begin()));
  EXPECT_EQ(Name(stream.Finish()), Name(EntryStatus::Damaged));
  EXPECT_EQ(stream.Read(first.data(), first.size()), 0u);
}

// A caller that decrypts the bytes read ahead itself, with its own cipher,
// a stretch of random length between reads of random bounds: the entry's
// bytes exactly, no read gives fewer than it must, and beyond that none
// gives bytes the caller has not decrypted.
TEST_F(PackageTest, ACallerDecryptingAheadGetsTheEntryAndIsNeverOvertaken) {
  const Bytes noise = RandomBytes(200 * 1024), text = TextBytes(150 * 1024);
  unsigned seed = 0;
  for (const Form form : {Form{Method::Store, false, false}, Form{Method::Deflate, true, false},
                          Form{Method::Store, true, false}, Form{Method::Deflate, false, false}}) {
    for (const Bytes* data : {&noise, &text}) {
      SCOPED_TRACE(std::string(form.method == Method::Store ? "stored" : "deflated") +
                   (form.encrypted ? ", encrypted" : ", plain") + (data == &text ? ", text" : ", noise"));
      const std::string path =
          scratch.Package("p.lvs", {{"prv", *data, form.method, form.encrypted ? kPackagePassword : ""}});
      const StylePackage package(path.c_str());
      EntryStream stream(package, package.Locate("prv"));
      EXPECT_EQ(stream.DecryptAhead() != nullptr, form.encrypted);
      std::mt19937 random(++seed);
      Bytes got;
      for (int reads = 0; got.size() < data->size() && reads < 100000; ++reads) {
        if (EntryStream::Ahead* ahead = stream.DecryptAhead()) {
          TestCipher cipher(ahead->keys.key0, ahead->keys.key1, ahead->keys.key2);
          const size_t n = random() % size_t(ahead->end - ahead->next + 1);
          for (size_t i = 0; i < n; ++i) ahead->next[i] = cipher.Decrypt(ahead->next[i]);
          ahead->next += n;
          ahead->keys.key0 = cipher.k0, ahead->keys.key1 = cipher.k1, ahead->keys.key2 = cipher.k2;
        }
        const size_t atLeast = random() % 3000, atMost = atLeast + random() % 70000;
        Bytes piece(atMost);
        const size_t n = stream.Read(piece.data(), atLeast, atMost);
        ASSERT_GE(n, std::min(atLeast, data->size() - got.size()));
        ASSERT_LE(n, atMost);
        got.insert(got.end(), piece.begin(), piece.begin() + long(n));
      }
      EXPECT_TRUE(SameSamples(got, *data));
      EXPECT_EQ(Name(stream.Finish()), Name(EntryStatus::Ok));
    }
  }

  // A stored entry whose caller decrypts ahead gives beyond what is asked
  // exactly the bytes decrypted, and once they are given, none.
  const std::string path = scratch.Package("s.lvs", {{"prv", noise, Method::Store, kPackagePassword}});
  const StylePackage package(path.c_str());
  EntryStream stream(package, package.Locate("prv"));
  EntryStream::Ahead* ahead = stream.DecryptAhead();
  Bytes piece(noise.size());
  size_t got = stream.Read(piece.data(), 1, 1);
  ASSERT_EQ(got, 1u);
  got += stream.Read(piece.data() + got, 0, piece.size() - got);
  EXPECT_EQ(stream.Read(piece.data() + got, 0, piece.size() - got), 0u);
  ASSERT_TRUE(ahead);
  ASSERT_GE(ahead->end - ahead->next, 1000);
  TestCipher cipher(ahead->keys.key0, ahead->keys.key1, ahead->keys.key2);
  for (size_t i = 0; i < 1000; ++i) ahead->next[i] = cipher.Decrypt(ahead->next[i]);
  ahead->next += 1000;
  ahead->keys.key0 = cipher.k0, ahead->keys.key1 = cipher.k1, ahead->keys.key2 = cipher.k2;
  EXPECT_EQ(stream.Read(piece.data() + got, 0, piece.size() - got), 1000u);
  EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + long(got) + 1000, noise.begin()));

  // Damage is found at Finish whoever decrypted the bytes.
  Bytes damaged = Slurp(scratch.Package("d.lvs", {Sealed("prv", noise)}));
  damaged[DataOf(damaged, "prv") + 12 + noise.size() / 2] ^= 0x01;
  Spit(scratch.Path("d.lvs"), damaged);
  const StylePackage broken(scratch.Path("d.lvs").c_str());
  EntryStream bad(broken, broken.Locate("prv"));
  EntryStream::Ahead* a = bad.DecryptAhead();
  ASSERT_TRUE(a);
  while (bad.Read(piece.data(), 1, 4096) > 0) {
    TestCipher c(a->keys.key0, a->keys.key1, a->keys.key2);
    for (uint8_t* p = a->next; p != a->end; ++p) *p = c.Decrypt(*p);
    a->next = a->end;
    a->keys.key0 = c.k0, a->keys.key1 = c.k1, a->keys.key2 = c.k2;
  }
  EXPECT_EQ(Name(bad.Finish()), Name(EntryStatus::Damaged));
}

size_t OpenDescriptors() {
  return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Memory for the directory runs out after the file was opened: the package
// does not open, and the file does not stay open behind it.
TEST_F(PackageTest, AnArchiveThatRunsOutOfMemoryLeavesNoFileOpen) {
  const std::string path = scratch.Package("p.lvs", {Sealed("meta", TextBytes(100)), Sealed("prv", RandomBytes(500))});
  const Bytes bytes = Slurp(path);
  const size_t directorySize = Le16At(bytes, bytes.size() - 10) | (size_t(Le16At(bytes, bytes.size() - 8)) << 16);
  const size_t before = OpenDescriptors();
  gFailAllocationOf = directorySize;
  const StylePackage package(path.c_str());
  gFailAllocationOf = 0;
  EXPECT_FALSE(package.IsOpen());
  EXPECT_EQ(Name(package.Locate("prv").status), Name(EntryStatus::Unreadable));
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(EntryStatusNames, AreTheNamesLvsMapsToItsCodes) {
  const std::pair<EntryStatus, const char*> names[] = {
      {EntryStatus::Ok, "ok"},
      {EntryStatus::Unreadable, "unreadable"},
      {EntryStatus::Missing, "missing"},
      {EntryStatus::TooLarge, "too-large"},
      {EntryStatus::UnsupportedMethod, "method"},
      {EntryStatus::StrongEncryption, "strong-encryption"},
      {EntryStatus::WrongPassword, "wrong-password"},
      {EntryStatus::Damaged, "damaged"},
      {EntryStatus::OutOfMemory, "out-of-memory"},
  };
  for (const auto& [status, name] : names) EXPECT_STREQ(EntryStatusName(status), name);
}

}  // namespace
