#include "AEGP_SuiteHandler.h"

namespace {

struct SuiteRow {
  const A_char* name;
  A_long version;
};

// Every suite the cache knows, not only the eight the plug-in asks for: a
// suite can be given an accessor without renumbering the others, and a row
// never asked for costs one null test at release. The order matters: suites are released
// in this order. Names go to the host character for character (note "PF
// iterate16 Suite" and "PF ColorParamSuite").
constexpr SuiteRow kSuiteTable[AEGP_SuiteHandler::kSuiteRows] = {
    {kAEGPRegisterSuite, kAEGPRegisterSuiteVersion5},  // 0
    {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion5},    // 1
    {"AEGP Command Suite", 1},
    {"AEGP File Import Manager Suite", 3},
    {"AEGP World Suite", 3},
    {kPFWorldSuite, kPFWorldSuiteVersion2},                    // 5
    {kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1},  // 6
    {"PF Fill Matte Suite", 2},
    {"PF AE Channel Suite", 1},
    {"PF Iterate8 Suite", 1},
    {"PF iterate16 Suite", 1},
    {"PF iterateFloat Suite", 1},
    {kAEGPIterateSuite, kAEGPIterateSuiteVersion1},  // 12
    {kAEGPIOInSuite, kAEGPIOInSuiteVersion4},        // 13
    {"AEGP IO Out Suite", 7},
    {"AEGP Render Queue Item Suite", 4},
    {"AEGP Comp Suite", 14},
    {"AEGP Layer Suite", 11},
    {"AEGP Camera Suite", 2},
    {"AEGP Collection Suite", 2},
    {"AEGP Stream Suite", 8},
    {"AEGP Dynamic Stream Suite", 3},
    {"AEGP Keyframe Suite", 4},
    {"AEGP Effect Suite", 3},
    {"PF ColorParamSuite", 1},
    {"AEGP Item Suite", 13},
    {"AEGP Footage Suite", 11},
    {"AEGP Output Module Suite", 4},
    {kAEGPMemorySuite, kAEGPMemorySuiteVersion1},  // 28
    {kPFHandleSuite, kPFHandleSuiteVersion1},      // 29
    {"AEGP Proj Suite", 8},
    {"PF Color Settings Suite", 3},
    {"PF AE App Suite", 6},
    {"PF AE Adv App Suite", 1},
    {"AEGP Persistent Data Suite", 3},
    {"DRAWBOT Draw Suite", 1},
    {"DRAWBOT Supplier Suite", 1},
    {"DRAWBOT Surface Suite", 2},
    {"DRAWBOT Path Suite", 1},
    {"PF Effect Custom UI Suite", 1},
    {"PF Effect Custom UI Overlay Theme Suite", 1},
};

enum Row {
  kRegisterRow = 0,
  kUtilityRow = 1,
  kPFWorldRow = 5,
  kPFWorldTransformRow = 6,
  kAEGPIterateRow = 12,
  kIOInRow = 13,
  kMemoryRow = 28,
  kHandleRow = 29,
};

}  // namespace

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* pica_basicP) : basicSuite_(pica_basicP), suites_{} {
  if (!basicSuite_) MissingSuiteError();
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() { ReleaseAllSuites(); }

const void* AEGP_SuiteHandler::Row(int row) const {
  if (!suites_.rows[row]) suites_.rows[row] = LoadSuite(kSuiteTable[row].name, kSuiteTable[row].version);
  return suites_.rows[row];
}

const void* AEGP_SuiteHandler::LoadSuite(const A_char* name, A_long version) const {
  const void* suite = nullptr;
  const SPErr err = basicSuite_->AcquireSuite(name, version, &suite);
  if (err != 0 || !suite) MissingSuiteError();
  return suite;
}

void AEGP_SuiteHandler::ReleaseSuite(const A_char* name, A_long version) { basicSuite_->ReleaseSuite(name, version); }

void AEGP_SuiteHandler::ReleaseAllSuites() {
  for (int row = 0; row < kSuiteRows; ++row) {
    if (suites_.rows[row]) ReleaseSuite(kSuiteTable[row].name, kSuiteTable[row].version);
  }
}

void AEGP_SuiteHandler::MissingSuiteError() const { throw A_long(PF_Err_BAD_CALLBACK_PARAM); }

const AEGP_RegisterSuite5* AEGP_SuiteHandler::RegisterSuite() const {
  return static_cast<const AEGP_RegisterSuite5*>(Row(kRegisterRow));
}
const AEGP_UtilitySuite5* AEGP_SuiteHandler::UtilitySuite() const {
  return static_cast<const AEGP_UtilitySuite5*>(Row(kUtilityRow));
}
const PF_WorldSuite2* AEGP_SuiteHandler::PFWorldSuite() const {
  return static_cast<const PF_WorldSuite2*>(Row(kPFWorldRow));
}
const PF_WorldTransformSuite1* AEGP_SuiteHandler::PFWorldTransformSuite() const {
  return static_cast<const PF_WorldTransformSuite1*>(Row(kPFWorldTransformRow));
}
const AEGP_IterateSuite1* AEGP_SuiteHandler::AEGPIterateSuite() const {
  return static_cast<const AEGP_IterateSuite1*>(Row(kAEGPIterateRow));
}
const AEGP_IOInSuite4* AEGP_SuiteHandler::IOInSuite() const {
  return static_cast<const AEGP_IOInSuite4*>(Row(kIOInRow));
}
const AEGP_MemorySuite1* AEGP_SuiteHandler::MemorySuite() const {
  return static_cast<const AEGP_MemorySuite1*>(Row(kMemoryRow));
}
const PF_HandleSuite1* AEGP_SuiteHandler::HandleSuite() const {
  return static_cast<const PF_HandleSuite1*>(Row(kHandleRow));
}
