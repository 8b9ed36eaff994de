// Packages made by the tools package authors really use (Info-ZIP zip, 7-Zip),
// including streamed archives with data descriptors and their zip64 forms.
#include "package_fixture.h"

namespace {

const std::string kQuotedPassword = std::string("'") + kPackagePassword + "'";

class ToolPackageTest : public PackageTest {
protected:
    void SetUp() override {
        PackageTest::SetUp();
        meta_ = TextBytes(3000);
        prv_ = RandomBytes(150 * 1024, 3);
        Spit(Path("meta"), meta_);
        Spit(Path("prv"), prv_);
    }

    // Both entries read back exactly from the archive `file`.
    void ExpectReadable(const std::string& file) {
        Bytes out;
        EXPECT_EQ(ReadAll(Path(file), "meta", &out), 0) << file;
        EXPECT_EQ(out, meta_) << file;
        EXPECT_EQ(ReadAll(Path(file), "prv", &out), 0) << file;
        EXPECT_EQ(out, prv_) << file;
    }

    // The entry reports its size but is never read.
    void ExpectRefused(const std::string& file, const char* name) {
        const Bytes& expected = std::string(name) == "meta" ? meta_ : prv_;
        Bytes out(expected.size());
        EXPECT_EQ(LVS_GetFileSize(Path(file).c_str(), name), static_cast<int32_t>(expected.size())) << file;
        EXPECT_EQ(LVS_ReadFile(Path(file).c_str(), name, out.data(), out.size()), kReadFileFailed) << file;
    }

    Bytes meta_, prv_;
};

TEST_F(ToolPackageTest, InfoZipPackagesRead) {
    ASSERT_EQ(Shell("zip -q -e -P " + kQuotedPassword + " deflated.lvs meta prv"), 0);
    ASSERT_EQ(Shell("zip -q -0 -e -P " + kQuotedPassword + " stored.lvs meta prv"), 0);
    ASSERT_EQ(Shell("zip -q plain.lvs meta prv"), 0);
    ASSERT_EQ(Shell("zip -q -fz -e -P " + kQuotedPassword + " zip64.lvs meta prv"), 0);
    // Written to a pipe, zip cannot seek back: data descriptors follow each
    // entry and the sizes are known only from the central directory.
    ASSERT_EQ(Shell("zip -q -e -P " + kQuotedPassword + " - meta prv | cat > streamed.lvs"), 0);
    ASSERT_EQ(Shell("zip -q - meta prv | cat > streamed-plain.lvs"), 0);
    for (const char* file :
         {"deflated.lvs", "stored.lvs", "plain.lvs", "zip64.lvs", "streamed.lvs", "streamed-plain.lvs"})
        ExpectReadable(file);

    ASSERT_EQ(Shell("zip -q -e -P wrong foreign.lvs meta prv"), 0);
    ExpectRefused("foreign.lvs", "meta");
    ExpectRefused("foreign.lvs", "prv");
}

TEST_F(ToolPackageTest, SevenZipPackagesRead) {
    ASSERT_EQ(Shell("7z a -bd -tzip -mem=ZipCrypto -p" + kQuotedPassword + " crypto.lvs meta prv >/dev/null"), 0);
    ASSERT_EQ(Shell("7z a -bd -tzip -mx=0 -mem=ZipCrypto -p" + kQuotedPassword + " stored.lvs meta prv >/dev/null"),
              0);
    ExpectReadable("crypto.lvs");
    ExpectReadable("stored.lvs");
}

TEST_F(ToolPackageTest, AesAndOtherMethodsAreRefused) {
    ASSERT_EQ(Shell("7z a -bd -tzip -mem=AES256 -p" + kQuotedPassword + " aes.lvs meta prv >/dev/null"), 0);
    ASSERT_EQ(Shell("7z a -bd -tzip -mm=BZip2 bzip2.lvs meta prv >/dev/null"), 0);
    ASSERT_EQ(Shell("7z a -bd -tzip -mm=Deflate64 deflate64.lvs meta prv >/dev/null"), 0);
    ExpectRefused("aes.lvs", "prv");
    // 7-Zip stores what does not compress, so only the text entry keeps the
    // method asked for.
    for (const char* file : {"aes.lvs", "bzip2.lvs", "deflate64.lvs"}) ExpectRefused(file, "meta");
}

// The builder's packages must also satisfy other readers: they are the
// samples package authors compare against.
TEST_F(ToolPackageTest, BuilderPackagesPassInfoZipTest) {
    Write("style.lvs", lvs_maker::StyleEntries("{\"name\":\"n\"}", prv_));
    Write("style64.lvs", lvs_maker::StyleEntries("{\"name\":\"n\"}", prv_), {true});
    Write("stored64.lvs", {{"meta", meta_, lvs_maker::Method::Store}}, {true});
    for (const char* file : {"style.lvs", "style64.lvs", "stored64.lvs"})
        EXPECT_EQ(Shell(std::string("unzip -tq -P ") + kQuotedPassword + " " + file + " >/dev/null"), 0) << file;
}

} // namespace
