// lvs unpack and pack --from: a package's entries taken out exactly as they
// went in, and a package changed without the files it was made from.
#include "lvs_tool_support.h"

using namespace lvs_test;

namespace {

class LvsUnpack : public LvsTool {
 protected:
  // Pretty-printed, so that any re-encoding of it shows.
  const std::string meta_ =
      "{\n  \"name\": \"Tide\",\n  \"author\": \"Q\",\n  \"hash\": \"e1\",\n  \"version\": 4\n}\n";
};

// What pack put in (deflated and encrypted) and what another tool stored
// plainly come out byte for byte, from a file and from standard input.
TEST_F(LvsUnpack, EntriesComeOutAsTheyWentIn) {
  const Bytes jpeg = PhotoJpeg(1280, 720, Subsampling::S444);
  ASSERT_EQ(Lvs({"pack", "-q", "-o", "sealed.lvs", "--preview", File("p.jpg", jpeg), "--meta", File("m.json", meta_)})
                .exitCode,
            0);
  const std::string plain =
      scratch.Package("plain.lvs", {lvs_maker::Entry("meta", ToBytes(meta_), lvs_maker::Method::Store),
                                    lvs_maker::Entry("prv", jpeg, lvs_maker::Method::Store)});
  for (const std::string& package : {scratch.Path("sealed.lvs"), plain}) {
    const std::string folder = fs::path(package).stem().string() + "-out";
    const ToolRun run = Lvs({"unpack", package, folder});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Slurp(scratch.Path(folder + "/meta")), meta_) << package;
    EXPECT_EQ(ToBytes(Slurp(scratch.Path(folder + "/prv"))), jpeg) << package;
  }
  ASSERT_EQ(Lvs({"unpack", "-", "from-stdin"}, plain).exitCode, 0);
  EXPECT_EQ(Slurp(scratch.Path("from-stdin/meta")), meta_);
}

// Nothing is replaced unless asked, and a refusal writes nothing at all; an
// entry that cannot be read is named and the others still written.
TEST_F(LvsUnpack, RefusesWhatItWasNotAskedToReplace) {
  const std::string good = Good();
  File("out/prv", "mine");
  fs::create_directories(scratch.Path("out2"));
  std::error_code linked;  // Wine makes no links
  fs::create_symlink("nowhere", scratch.Path("out2/meta"), linked);
  const ToolRun taken = Lvs({"unpack", good, "out"});
  EXPECT_EQ(taken.exitCode, 2);
  EXPECT_EQ(Slashed(taken.err), "lvs unpack: out/prv exists; --force replaces it\n");
  EXPECT_FALSE(fs::exists(scratch.Path("out/meta")));  // not even the entry that was free
  EXPECT_EQ(Slurp(scratch.Path("out/prv")), "mine");
  if (!linked) {
    EXPECT_EQ(Lvs({"unpack", good, "out2"}).exitCode, 2);  // a dangling link is a name taken too
  }
  EXPECT_EQ(Lvs({"unpack", good, "out/prv"}).exitCode, 2);  // no folder
  ASSERT_EQ(Lvs({"unpack", "--force", good, "out"}).exitCode, 0);
  EXPECT_EQ(ToBytes(Slurp(scratch.Path("out/prv"))), Preview());

  const std::string locked =
      scratch.ForeignPackage("locked.lvs", {Sealed("meta", ToBytes(kMeta)), Sealed("prv", Preview(), "other")}, "prv");
  const ToolRun half = Lvs({"unpack", locked, "half"});
  EXPECT_EQ(half.exitCode, 1);
  EXPECT_NE(half.out.find("[prv.wrong-password]"), std::string::npos) << half.out;
  EXPECT_EQ(Slurp(scratch.Path("half/meta")), kMeta);
  EXPECT_FALSE(fs::exists(scratch.Path("half/prv")));
  const ToolRun none = Lvs({"unpack", File("text.lvs", "no zip"), "none"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_FALSE(fs::exists(scratch.Path("none")));
}

// --from takes what is not given from an older package: the preview byte
// for byte, the metadata byte for byte unless a field changes it (and then
// only that field).
TEST_F(LvsUnpack, PackFromChangesOnlyWhatIsGiven) {
  const Bytes jpeg = PhotoJpeg(1280, 720, Subsampling::S420);
  ASSERT_EQ(
      Lvs({"pack", "-q", "-o", "old.lvs", "--preview", File("p.jpg", jpeg), "--meta", File("m.json", meta_)}).exitCode,
      0);
  const auto unpacked = [&](const std::string& package) {
    fs::remove_all(scratch.Path("u"));
    EXPECT_EQ(Lvs({"unpack", "-q", package, "u"}).exitCode, 0) << package;
    return std::make_pair(Slurp(scratch.Path("u/meta")), ToBytes(Slurp(scratch.Path("u/prv"))));
  };
  ASSERT_EQ(
      Lvs({"pack", "-q", "-o", "renamed.lvs", "--from", "old.lvs", "--name", "Ebb", "--style-version", "5"}).exitCode,
      0);
  auto [meta, prv] = unpacked("renamed.lvs");
  EXPECT_EQ(json::parse(meta), json::parse(R"({"name":"Ebb","author":"Q","hash":"e1","version":5})"));
  EXPECT_EQ(prv, jpeg);

  const Bytes other = PhotoJpeg(1280, 720, Subsampling::Grey);
  ASSERT_EQ(Lvs({"pack", "-q", "-o", "repreviewed.lvs", "--from", "-", "--preview", File("o.jpg", other)},
                scratch.Path("old.lvs"))
                .exitCode,
            0);
  std::tie(meta, prv) = unpacked("repreviewed.lvs");
  EXPECT_EQ(meta, meta_);
  EXPECT_EQ(prv, other);

  // What is taken must be readable, and what is changed must make a package
  // the plug-in shows.
  const ToolRun noPreview = Lvs({"pack", "-o", "x.lvs", "--from", NoPreview(), "--name", "n"});
  EXPECT_EQ(noPreview.exitCode, 1);
  EXPECT_NE(noPreview.err.find("[prv.missing]"), std::string::npos) << noPreview.err;
  EXPECT_EQ(
      Lvs({"pack", "-o", "x.lvs", "--from", "old.lvs", "--preview", File("w.jpg", PhotoJpeg(1281, 720))}).exitCode, 1);
  EXPECT_EQ(Lvs({"pack", "-o", "x.lvs", "--from", "old.lvs", "--meta", File("a.json", "[1]")}).exitCode, 1);
  EXPECT_FALSE(fs::exists(scratch.Path("x.lvs")));
}

}  // namespace
