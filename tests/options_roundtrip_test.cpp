// The options record in flat form: flatten, inflate, and what each leaves
// behind on the host.
#include "footage_fixture.h"

namespace footage_test {
namespace {

class OptionsTest : public FootageTest {
 protected:
  // An opened worked example whose record then has non-zero bytes wherever
  // the plug-in itself writes none: after every terminator and in the
  // reserved tail.
  AEIO_InSpecH OpenScribbled(Bytes* record) {
    AEIO_InSpecH inSpec = nullptr;
    EXPECT_EQ(Open(Package("ink.lvs", kInkMeta), &inSpec), A_Err_NONE);
    Bytes r = Record(inSpec);
    for (size_t i = 0; i < r.size(); ++i)
      if (r[i] == 0) r[i] = static_cast<uint8_t>(0x80 | (i * 37));
    for (size_t field : {kPath + TextAt(r, kPath, 1).size(), kName + 3, kHash + 4, kAuthor + 5, kSpare})
      r[field] = 0;
    r[kVersion + 3] = 0x9C;
    EXPECT_TRUE(Host().Memory().Write(Options(inSpec), r));
    *record = Record(inSpec);
    return inSpec;
  }

  A_Err Flatten(AEIO_InSpecH inSpec, AEGP_MemHandle* flat) {
    return Cb().AEIO_FlattenOptions(Host().InData(), inSpec, flat);
  }
  A_Err Inflate(AEIO_InSpecH inSpec, AEGP_MemHandle flat) {
    return Cb().AEIO_InflateOptions(Host().InData(), inSpec, flat);
  }
};

TEST_F(OptionsTest, FlattenThenInflateIsByteIdentical) {
  Bytes original;
  AEIO_InSpecH inSpec = OpenScribbled(&original);
  ASSERT_EQ(original.size(), kRecordSize);
  ASSERT_EQ(TextAt(original, kName, 255), "Ink");

  AEGP_MemHandle flat = nullptr;
  ASSERT_EQ(Flatten(inSpec, &flat), A_Err_NONE);
  ASSERT_NE(flat, nullptr);
  const auto flatInfo = Host().Memory().Info(flat);
  EXPECT_EQ(flatInfo->description, "Flat Options");
  EXPECT_EQ(flatInfo->size, kRecordSize);
  EXPECT_EQ(flatInfo->owner, lvshost::kRegisteredPluginID);
  EXPECT_EQ(flatInfo->lockCount, 0);
  EXPECT_EQ(Host().Memory().Bytes(flat), original);
  EXPECT_EQ(Record(inSpec), original) << "flattening leaves the record alone";
  EXPECT_EQ(Host().Memory().Info(Options(inSpec))->lockCount, 0);
  Close(inSpec);

  // As after loading a project: a fresh inSpec gets the stored bytes back.
  AEIO_InSpecH loaded = Host().NewInSpec();
  EXPECT_EQ(Inflate(loaded, flat), A_Err_NONE);
  const AEGP_MemHandle round = Options(loaded);
  ASSERT_NE(round, nullptr);
  ASSERT_NE(round, flat);
  const auto roundInfo = Host().Memory().Info(round);
  EXPECT_EQ(roundInfo->description, "Round Options");
  EXPECT_EQ(roundInfo->lockCount, 0);
  EXPECT_EQ(Record(loaded), original);
  EXPECT_EQ(Host().Memory().Bytes(flat), original) << "the flat handle stays the host's, unchanged";
  EXPECT_TRUE(Host().Memory().Release(flat));
  Close(loaded);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(OptionsTest, FlattenCopiesWhateverSizeTheRecordHas) {
  AEIO_InSpecH inSpec = Host().NewInSpec();
  const Bytes odd = {1, 2, 3, 4, 5, 6, 7};
  const AEGP_MemHandle options = Host().Memory().Create(odd);
  ASSERT_TRUE(Host().SetInSpecOptions(inSpec, options));
  AEGP_MemHandle flat = nullptr;
  ASSERT_EQ(Flatten(inSpec, &flat), A_Err_NONE);
  EXPECT_EQ(Host().Memory().Bytes(flat), odd);
  EXPECT_TRUE(Host().Memory().Release(flat));
  Close(inSpec);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(OptionsTest, FlattenWithoutRecordCreatesNothing) {
  AEIO_InSpecH inSpec = Host().NewInSpec();
  AEGP_MemHandle flat = reinterpret_cast<AEGP_MemHandle>(0x1);
  EXPECT_EQ(Flatten(inSpec, &flat), A_Err_NONE);
  EXPECT_EQ(flat, nullptr);
  EXPECT_EQ(Host().Faults().Calls("AEGP_NewMemHandle"), 0u);
  Host().DeleteInSpec(inSpec);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(OptionsTest, FlatRecordOfAnotherSizeInflatesEmpty) {
  for (size_t size : {size_t(1284), size_t(2048), size_t(1407), size_t(0)}) {
    const AEGP_MemHandle flat = Host().Memory().Create(Bytes(size, 0xAB));
    AEIO_InSpecH inSpec = Host().NewInSpec();
    EXPECT_EQ(Inflate(inSpec, flat), A_Err_NONE) << size;
    const Bytes r = Record(inSpec);
    ASSERT_EQ(r.size(), kRecordSize) << size;
    for (size_t field : {kPath, kName, kHash, kAuthor, kSpare}) EXPECT_EQ(r[field], 0) << size << " @" << field;
    EXPECT_EQ(VersionOf(r), 0) << size;
    EXPECT_TRUE(AllZero(r)) << "a cleared handle: " << size;
    EXPECT_EQ(Host().Memory().Bytes(flat), Bytes(size, 0xAB));
    EXPECT_TRUE(Host().Memory().Release(flat));
    Close(inSpec);
  }
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

TEST_F(OptionsTest, NullFlatHandleAttachesNothing) {
  AEIO_InSpecH inSpec = Host().NewInSpec();
  Host().Faults().ResetCounts();
  EXPECT_EQ(Inflate(inSpec, nullptr), A_Err_NONE);
  EXPECT_EQ(Host().Faults().TotalCalls(), 0u);
  EXPECT_EQ(Host().InSpec(inSpec)->optionsSets, 0);
  Host().DeleteInSpec(inSpec);
  EXPECT_TRUE(Host().Clean()) << Host().Report();
}

}  // namespace
}  // namespace footage_test
