// The options record in flat form: flatten, inflate, and what each leaves.
#include "fixture.h"

using namespace lvs_test;

namespace {

class OptionsTest : public ModuleTest {
 protected:
  A_Err Flatten(AEIO_InSpecH inSpec, AEGP_MemHandle* flat) { return m.Host().Calls().FlattenOptions(inSpec, flat); }
  A_Err Inflate(AEIO_InSpecH inSpec, AEGP_MemHandle flat) { return m.Host().Calls().InflateOptions(inSpec, flat); }
};

TEST_F(OptionsTest, FlattenThenInflateIsByteIdentical) {
  AEIO_InSpecH inSpec = nullptr;
  ASSERT_EQ(m.Open(Package("ink.lvs"), &inSpec), A_Err_NONE);
  // Non-zero bytes wherever the plug-in itself writes none.
  Bytes original = m.Record(inSpec);
  ASSERT_EQ(TextAt(original, kName, 255), "Ink");
  for (size_t i = 0; i < original.size(); ++i)
    if (original[i] == 0) original[i] = static_cast<uint8_t>(0x80 | (i * 37));
  for (size_t field : {kPath + TextAt(m.Record(inSpec), kPath, 260).size(), kName + 3, kHash + 4, kAuthor + 5, kSpare})
    original[field] = 0;
  ASSERT_TRUE(m.Host().Memory().Write(m.Options(inSpec), original));

  AEGP_MemHandle flat = nullptr;
  ASSERT_EQ(Flatten(inSpec, &flat), A_Err_NONE);
  ASSERT_NE(flat, nullptr);
  const auto madeByModule = [&](AEGP_MemHandle h, const char* description) {
    const auto info = m.Host().Memory().Info(h);
    return info && info->description == description && info->cleared && info->owner == lvs_host::kRegisteredPluginID;
  };
  EXPECT_TRUE(madeByModule(flat, "Flat Options"));
  EXPECT_EQ(m.Host().Memory().Bytes(flat), original);
  EXPECT_EQ(m.Record(inSpec), original) << "flattening leaves the record alone";
  m.Close(inSpec);

  // As after loading a project: a fresh inSpec gets the stored bytes back.
  AEIO_InSpecH loaded = m.Host().NewInSpec();
  EXPECT_EQ(Inflate(loaded, flat), A_Err_NONE);
  const AEGP_MemHandle round = m.Options(loaded);
  ASSERT_TRUE(round);
  ASSERT_NE(round, flat);
  EXPECT_TRUE(madeByModule(round, "Round Options"));
  EXPECT_EQ(m.Record(loaded), original);
  EXPECT_EQ(m.Host().Memory().Bytes(flat), original);
  EXPECT_TRUE(m.Host().Memory().Release(flat));
  m.Close(loaded);
}

// A record of another size flattens as it is and inflates empty, in a
// cleared record of the right size; no record, nothing made.
TEST_F(OptionsTest, OddOrMissingRecords) {
  for (size_t size : {size_t(1284), size_t(2048), size_t(0)}) {
    SCOPED_TRACE(size);
    Bytes odd(size);
    for (size_t i = 0; i < size; ++i) odd[i] = static_cast<uint8_t>(0x41 + i % 23);
    AEIO_InSpecH inSpec = m.Host().NewInSpec();
    const AEGP_MemHandle attached = m.Host().Memory().Create(odd, "LVS Options");
    m.Host().SetInSpecOptions(inSpec, attached);
    AEGP_MemHandle flat = nullptr;
    EXPECT_EQ(Flatten(inSpec, &flat), A_Err_NONE);
    EXPECT_EQ(m.Host().Memory().Bytes(flat), odd);
    EXPECT_TRUE(m.Host().Memory().Release(attached));
    m.Host().SetInSpecOptions(inSpec, nullptr);

    EXPECT_EQ(Inflate(inSpec, flat), A_Err_NONE);
    const auto info = m.Host().Memory().Info(m.Options(inSpec));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->cleared);
    EXPECT_EQ(info->description, "Round Options");
    const Bytes r = m.Record(inSpec);
    EXPECT_EQ(r.size(), kRecordSize) << "inflated empty";
    EXPECT_TRUE(AllZero(r)) << "inflated empty";
    EXPECT_TRUE(m.Host().Memory().Release(flat));
    m.Close(inSpec);
  }
  // No record to flatten, no flat handle to inflate: nothing made or handed back.
  AEIO_InSpecH inSpec = m.Host().NewInSpec();
  AEGP_MemHandle flat = reinterpret_cast<AEGP_MemHandle>(0x1);
  EXPECT_EQ(Flatten(inSpec, &flat), A_Err_NONE);
  EXPECT_EQ(flat, nullptr);
  EXPECT_EQ(Inflate(inSpec, nullptr), A_Err_NONE);
  EXPECT_EQ(m.Host().InSpec(inSpec)->optionsSets, 0);
  m.Host().DeleteInSpec(inSpec);
}

}  // namespace
