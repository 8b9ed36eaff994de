// Reading entries of packages written by lvs_maker: every form an entry may
// take, and every way a package can be unusable.
#include "package_fixture.h"

#include <cstring>
#include <tuple>

using lvs_maker::Entry;
using lvs_maker::Method;

namespace {

// ---------------------------------------------------------------------------
// Every accepted form reads back exactly, through several read chunks.

struct Form {
    Method method;
    bool encrypted;
    bool zip64;
};

class PackageFormTest : public PackageTest, public ::testing::WithParamInterface<Form> {};

TEST_P(PackageFormTest, ReadsBackExactBytesAndNothingMore) {
    const Form form = GetParam();
    const std::string password = form.encrypted ? kPackagePassword : "";
    const Bytes text = TextBytes(1000), noise = RandomBytes(300 * 1024);
    const std::string path = Write("p.lvs",
                                   {{"meta", text, form.method, password},
                                    {"prv", noise, form.method, password},
                                    {"empty", {}, form.method, password}},
                                   {form.zip64});

    for (const auto& [name, expected] : {std::make_pair("meta", text), std::make_pair("prv", noise)}) {
        ASSERT_EQ(LVS_GetFileSize(path.c_str(), name), static_cast<int32_t>(expected.size())) << name;
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
                         ::testing::Values(Form{Method::Store, false, false}, Form{Method::Store, true, false},
                                           Form{Method::Deflate, false, false},
                                           Form{Method::Deflate, true, false}, Form{Method::Store, true, true},
                                           Form{Method::Deflate, true, true}, Form{Method::Deflate, false, true}));

// ---------------------------------------------------------------------------
// Files that are no package.

TEST_F(PackageTest, FilesThatAreNoArchiveFail) {
    const Bytes good = Slurp(Write("good.lvs", lvs_maker::StyleEntries("{}", RandomBytes(5000))));
    Spit(Path("text.lvs"), TextBytes(4000));
    Spit(Path("empty.lvs"), {});
    Spit(Path("head.lvs"), Bytes(good.begin(), good.begin() + good.size() / 2));
    Spit(Path("tail.lvs"), Bytes(good.begin(), good.end() - 10));
    fs::create_directories(Path("dir.lvs"));

    for (const char* file : {"missing.lvs", "text.lvs", "empty.lvs", "head.lvs", "tail.lvs", "dir.lvs"}) {
        Bytes out(8192);
        EXPECT_EQ(LVS_GetFileSize(Path(file).c_str(), "prv"), 0) << file;
        EXPECT_EQ(LVS_ReadFile(Path(file).c_str(), "prv", out.data(), out.size()), kReadFileFailed) << file;
    }
    Bytes out(1);
    EXPECT_EQ(LVS_GetFileSize(nullptr, "prv"), 0);
    EXPECT_EQ(LVS_ReadFile(Path("good.lvs").c_str(), nullptr, out.data(), out.size()), kReadFileFailed);
    EXPECT_EQ(LVS_ReadFile(Path("good.lvs").c_str(), "meta", nullptr, 2), kReadFileFailed);
}

TEST_F(PackageTest, ArchiveWithoutEntriesHasNothingToRead) {
    Bytes endRecord(22, 0);
    SetLe32(endRecord, 0, 0x06054b50);
    Spit(Path("none.lvs"), endRecord);
    Bytes out(16);
    EXPECT_EQ(LVS_GetFileSize(Path("none.lvs").c_str(), "meta"), 0);
    EXPECT_EQ(LVS_ReadFile(Path("none.lvs").c_str(), "meta", out.data(), out.size()), kReadFileFailed);
}

// ---------------------------------------------------------------------------
// Names: only the exact, case-sensitive stored name is the entry.

TEST_F(PackageTest, OnlyTheExactNameIsTheEntry) {
    const std::string near = Write("near.lvs", {{"Meta", TextBytes(10)},
                                                {"META", TextBytes(11)},
                                                {"meta.json", TextBytes(12)},
                                                {"styles/meta", TextBytes(13)},
                                                {"metadata", TextBytes(14)},
                                                {"prv.jpg", TextBytes(15)},
                                                {"PRV", TextBytes(16)}});
    Bytes out(64);
    for (const char* name : {"meta", "prv", "met", "meta/", ""}) {
        EXPECT_EQ(LVS_GetFileSize(near.c_str(), name), 0) << name;
        EXPECT_EQ(LVS_ReadFile(near.c_str(), name, out.data(), out.size()), kReadFileFailed) << name;
    }

    // Beside its case-twisted siblings, the real entry is found and no other.
    const Bytes real = TextBytes(17);
    const std::string both = Write("both.lvs", {{"META", TextBytes(30)}, {"meta", real}, {"Meta", TextBytes(40)}});
    ASSERT_EQ(ReadAll(both, "meta", &out), 0);
    EXPECT_EQ(out, real);
}

TEST_F(PackageTest, PathWithNonAsciiCharactersAndPercentSign) {
    fs::create_directories(Path("Stile für 100% Grün"));
    const std::string path = Write("Stile für 100% Grün/Lumière %s %n.lvs", {{"meta", TextBytes(321)}});
    Bytes out;
    EXPECT_EQ(ReadAll(path, "meta", &out), 0);
    EXPECT_EQ(out, TextBytes(321));
}

// ---------------------------------------------------------------------------
// Passwords and damage.

TEST_F(PackageTest, ForeignPasswordReportsSizeButNeverReads) {
    for (Method method : {Method::Store, Method::Deflate}) {
        const std::string path = Write("foreign.lvs", {{"prv", RandomBytes(7000), method, "not the password"}});
        EXPECT_EQ(LVS_GetFileSize(path.c_str(), "prv"), 7000);
        Bytes out(7000);
        EXPECT_EQ(LVS_ReadFile(path.c_str(), "prv", out.data(), out.size()), kReadFileFailed);
    }
}

TEST_F(PackageTest, DamagedDataFailsTheRead) {
    for (Method method : {Method::Store, Method::Deflate}) {
        const Bytes data = TextBytes(5000);
        Bytes file = Slurp(Write("crc.lvs", {{"meta", data, method}}));
        const HeaderOffsets at = FindHeaders(file, "meta");
        const std::size_t start = at.local + 30 + 4 + (file[at.local + 28] | (file[at.local + 29] << 8));
        file[start + 100] ^= 0x20;
        Spit(Path("crc.lvs"), file);

        Bytes out;
        EXPECT_EQ(LVS_GetFileSize(Path("crc.lvs").c_str(), "meta"), 5000);
        EXPECT_EQ(ReadAll(Path("crc.lvs"), "meta", &out), kReadFileFailed);
    }
}

TEST_F(PackageTest, EntryDeliveringOtherThanItsRecordedSizeFails) {
    for (Method method : {Method::Store, Method::Deflate}) {
        const Bytes data = TextBytes(5000);
        const Bytes original = Slurp(Write("len.lvs", {{"meta", data, method}}));

        for (std::uint32_t recorded : {4999u, 5001u}) {
            Bytes file = original;
            SetRecordedSize(file, "meta", recorded);
            Spit(Path("len.lvs"), file);
            ASSERT_EQ(LVS_GetFileSize(Path("len.lvs").c_str(), "meta"), static_cast<int32_t>(recorded));
            // Capacity as reported; a canary behind it must survive.
            Bytes out(recorded + 1, 0x5A);
            EXPECT_EQ(LVS_ReadFile(Path("len.lvs").c_str(), "meta", out.data(), recorded), kReadFileFailed)
                << recorded;
            EXPECT_EQ(out.back(), 0x5A) << recorded;
        }
    }
}

TEST_F(PackageTest, UnsupportedMethodOrStrongEncryptionFailsCleanly) {
    const Bytes original = Slurp(Write("m.lvs", {{"meta", TextBytes(900), Method::Store, kPackagePassword}}));
    const HeaderOffsets at = FindHeaders(original, "meta");
    Bytes method = original, strong = original;
    for (std::size_t header : {at.local + 8, at.central + 10}) SetLe16(method, header, 12); // bzip2
    for (std::size_t header : {at.local + 6, at.central + 8}) strong[header] |= 0x40;
    Spit(Path("method.lvs"), method);
    Spit(Path("strong.lvs"), strong);
    for (const char* file : {"method.lvs", "strong.lvs"}) {
        Bytes out(900);
        EXPECT_EQ(LVS_GetFileSize(Path(file).c_str(), "meta"), 900) << file;
        EXPECT_EQ(LVS_ReadFile(Path(file).c_str(), "meta", out.data(), out.size()), kReadFileFailed) << file;
    }
}

// ---------------------------------------------------------------------------
// Sizes the caller must never be asked to allocate or overrun.

TEST_F(PackageTest, CapacitySmallerThanTheEntryFailsWithoutWriting) {
    const std::string path = Write("cap.lvs", {{"prv", RandomBytes(4096), Method::Deflate, kPackagePassword}});
    Bytes out(4096, 0x11);
    EXPECT_EQ(LVS_ReadFile(path.c_str(), "prv", out.data(), 4095), kReadFileFailed);
    EXPECT_EQ(out[4095], 0x11);
    EXPECT_EQ(LVS_ReadFile(path.c_str(), "prv", out.data(), 0), kReadFileFailed);
}

TEST_F(PackageTest, EntriesAboveTheCeilingAreNeverReported) {
    // Deflates to a few dozen KiB, inflates past the ceiling.
    const std::size_t huge = static_cast<std::size_t>(kEntrySizeCeiling) + 1;
    const std::string path = Write("huge.lvs", {{"prv", Bytes(huge, 0)}, {"meta", TextBytes(100)}});
    EXPECT_EQ(LVS_GetFileSize(path.c_str(), "prv"), 0);
    Bytes out(huge);
    EXPECT_EQ(LVS_ReadFile(path.c_str(), "prv", out.data(), out.size()), kReadFileFailed);

    // Sizes of 2^31 and more would turn negative as 32-bit lengths.
    for (std::uint32_t recorded : {0x80000000u, 0xFFFFFFFFu}) {
        Bytes file = Slurp(path);
        SetRecordedSize(file, "meta", recorded);
        Spit(Path("neg.lvs"), file);
        EXPECT_EQ(LVS_GetFileSize(Path("neg.lvs").c_str(), "meta"), 0) << recorded;
        EXPECT_EQ(LVS_ReadFile(Path("neg.lvs").c_str(), "meta", out.data(), out.size()), kReadFileFailed);
    }
    // The entry at the ceiling itself is still fine.
    const std::string edge = Write("edge.lvs", {{"prv", Bytes(static_cast<std::size_t>(kEntrySizeCeiling), 0)}});
    EXPECT_EQ(LVS_GetFileSize(edge.c_str(), "prv"), kEntrySizeCeiling);
    EXPECT_EQ(LVS_ReadFile(edge.c_str(), "prv", out.data(), out.size()), 0);
}

} // namespace
