// Each host call fails in turn and each suite is refused: nothing leaked,
// locked, acquired or misused, and the right code back.
#include <functional>
#include <memory>
#include <set>

#include "fixture.h"
#include "SameSamples.h"

using namespace lvs_test;

namespace {

constexpr A_Err kInjected = 77;  // told apart from every code the plug-in makes itself
constexpr A_Err kMissingSuite = PF_Err_BAD_CALLBACK_PARAM;

bool OneOf(const std::string& op, std::initializer_list<const char*> ops) {
  for (const char* o : ops)
    if (op == o) return true;
  return false;
}

bool HostKeepsObject(const std::string& op) {
  return OneOf(op, {"AEGP_UnlockMemHandle", "host_unlock_handle", "host_dispose_handle", "PF_DisposeWorld",
                    "AEGP_FreeMemHandle"});
}
bool IsRelease(const std::string& op) { return op == "ReleaseSuite" || HostKeepsObject(op); }

A_Err Usual(const std::string& op, bool harmless) {
  return op == "AcquireSuite" ? kMissingSuite : op.empty() || harmless ? A_Err_NONE : kInjected;
}

struct SweepRun {
  std::unique_ptr<Module> m;
  AEIO_InSpecH inSpec = nullptr;
  AEGP_MemHandle flat = nullptr;
  PF_EffectWorld* world = nullptr;
  Bytes before;
  std::vector<std::string> cleanLog;

  void Close(const std::string& op) {
    if (HostKeepsObject(op))
      m->Host().DeleteInSpec(inSpec);
    else
      m->Close(inSpec);
  }
};

struct Scenario {
  std::string label;
  std::function<void(SweepRun&)> prepare = [](SweepRun&) {};
  std::function<A_Err(SweepRun&)> call;
  std::function<A_Err(const std::string& op)> expected;
  std::function<void(SweepRun&, const std::string& op, A_Err result)> check = [](SweepRun&, const std::string&, A_Err) {
  };
};

size_t Sweep(const Scenario& s) {
  std::vector<std::string> log;
  const auto once = [&](const std::string& op, const std::function<void(lvs_host::FaultInjector&)>& arm) {
    SweepRun run;
    run.m = std::make_unique<Module>();
    run.cleanLog = log;
    s.prepare(run);
    run.m->Host().Faults().ResetCounts();
    run.m->Host().Suites().ClearEvents();
    arm(run.m->Host().Faults());
    const A_Err result = s.call(run);
    EXPECT_EQ(result, s.expected(op));
    if (op.empty()) run.cleanLog = log = run.m->Host().Faults().CallLog();
    std::set<std::string> suites;
    for (const auto& e : run.m->Host().Suites().Events())
      if (e.acquire) suites.insert(e.name);
    run.m->Host().Faults().Clear();
    s.check(run, op, result);
    run.m->Release();
    const lvs_host::LeftoverReport left = run.m->Host().Leftovers();
    EXPECT_TRUE(HostKeepsObject(op) ? left.suites.empty() : left.Clean()) << left.Text();
    return suites;
  };

  std::set<std::string> suites;
  suites = once("", [](lvs_host::FaultInjector&) {});
  for (size_t k = 1; k <= log.size(); ++k) {
    SCOPED_TRACE(s.label + ": call " + std::to_string(k) + " (" + log[k - 1] + ") fails");
    once(log[k - 1], [&](lvs_host::FaultInjector& f) { f.FailNth(lvs_host::kAnyOperation, k, kInjected); });
  }
  for (const std::string& suite : suites) {
    for (A_Err refusal : {kMissingSuite, A_Err(0)}) {
      SCOPED_TRACE(s.label + ": " + suite + " refused with " + std::to_string(refusal));
      once("AcquireSuite", [&](lvs_host::FaultInjector& f) { f.RefuseSuite(suite, refusal); });
    }
  }
  return log.size();
}

// Unusable metadata gives 512 unless the record or its buffer could not be had.
Scenario OpenScenario(const std::string& label, const std::string& path, bool usable) {
  Scenario s;
  s.label = label;
  s.call = [path](SweepRun& run) { return run.m->Open(path, &run.inSpec); };
  s.expected = [usable](const std::string& op) -> A_Err {
    if (OneOf(op, {"host_new_handle", "host_lock_handle"})) return PF_Err_OUT_OF_MEMORY;
    if (!usable && !OneOf(op, {"AcquireSuite", "AEGP_NewMemHandle", "AEGP_LockMemHandle"}))
      return PF_Err_INTERNAL_STRUCT_DAMAGED;
    return Usual(op, IsRelease(op) || op == "AEGP_SetInSpecOptionsHandle");
  };
  s.check = [usable](SweepRun& run, const std::string& op, A_Err result) {
    const bool attached = result != kMissingSuite &&
                          !OneOf(op, {"AEGP_NewMemHandle", "AEGP_LockMemHandle", "AEGP_SetInSpecOptionsHandle"});
    ASSERT_EQ(run.m->Options(run.inSpec) != nullptr, attached);
    if (!attached) {
      const bool attachRefused = op == "AEGP_SetInSpecOptionsHandle";
      EXPECT_EQ(bool(run.m->Host().InSpec(run.inSpec)->depth), attachRefused);
      // A record the host refused to attach is not freed: the host may
      // have kept it after all. Here it is lost, and given back by hand.
      const auto live = run.m->Host().Memory().LiveHandles();
      ASSERT_EQ(live.size(), attachRefused ? 1u : 0u) << "a record not made whole is freed";
      if (attachRefused) run.m->Host().Memory().Release(live[0]);
      run.m->Host().DeleteInSpec(run.inSpec);
      return;
    }
    const Bytes record = run.m->Record(run.inSpec);
    if (usable && result != PF_Err_OUT_OF_MEMORY)
      EXPECT_EQ(TextAt(record, kName, 255), "Ink");
    else
      EXPECT_TRUE(AllZero(record)) << "the reset record";
    run.Close(op);
  };
  return s;
}

class FootageSweep : public ::testing::Test {
 protected:
  std::function<void(SweepRun&)> OpenInk() {
    const std::string path = scratch.Package("ink.lvs", {Sealed("meta", ToBytes(kMeta))});
    return [path](SweepRun& run) {
      ASSERT_EQ(run.m->Open(path, &run.inSpec), A_Err_NONE);
      run.before = run.m->Record(run.inSpec);
      run.flat = run.m->Options(run.inSpec);
    };
  }
  Scratch scratch;
};

TEST_F(FootageSweep, Open) {
  const Bytes prv(64, 1);
  const std::string ink = scratch.Package("ink.lvs", kMeta, prv);
  const std::string badMeta = scratch.Package("bad-meta.lvs", R"({"name":"Ink","author":"A. B.","hash":"9f2c"})", prv);
  Sweep(OpenScenario("InitInSpecFromFile", ink, true));
  EXPECT_GT(Sweep(OpenScenario("InitInSpecFromFile(meta unparseable)", badMeta, false)), 12u);
}

TEST_F(FootageSweep, Flatten) {
  Scenario s;
  s.label = "FlattenOptions";
  s.prepare = OpenInk();
  s.call = [](SweepRun& run) {
    run.flat = reinterpret_cast<AEGP_MemHandle>(0x1);
    return run.m->Host().Calls().FlattenOptions(run.inSpec, &run.flat);
  };
  s.expected = [](const std::string& op) { return Usual(op, OneOf(op, {"ReleaseSuite", "AEGP_UnlockMemHandle"})); };
  s.check = [](SweepRun& run, const std::string& op, A_Err result) {
    EXPECT_EQ(run.flat == nullptr, result != A_Err_NONE) << "a flat handle only with success";
    EXPECT_TRUE(!run.flat || run.m->Host().Memory().Bytes(run.flat) == run.before);
    if (run.flat) run.m->Host().Memory().Release(run.flat);
    EXPECT_EQ(run.m->Record(run.inSpec), run.before);
    run.Close(op);
  };
  Sweep(s);
}

TEST_F(FootageSweep, Inflate) {
  Scenario s;
  s.label = "InflateOptions";
  s.prepare = [](SweepRun& run) {
    for (size_t i = 0; i < kRecordSize; ++i) run.before.push_back(static_cast<uint8_t>(i * 7 + 1));
    run.flat = run.m->Host().Memory().Create(run.before);
    run.inSpec = run.m->Host().NewInSpec();
  };
  s.call = [](SweepRun& run) { return run.m->Host().Calls().InflateOptions(run.inSpec, run.flat); };
  s.expected = [](const std::string& op) { return Usual(op, true); };  // memory failures are not reported
  s.check = [](SweepRun& run, const std::string& op, A_Err result) {
    const bool attached = result != kMissingSuite && !OneOf(op, {"AEGP_GetMemHandleSize", "AEGP_NewMemHandle",
                                                                 "AEGP_LockMemHandle", "AEGP_SetInSpecOptionsHandle"});
    ASSERT_EQ(run.m->Options(run.inSpec) != nullptr, attached);
    EXPECT_EQ(run.m->Host().Memory().Bytes(run.flat), run.before) << "the flat handle is untouched";
    if (!attached) {
      // As in the open, a refused attach leaves the new record unfreed.
      const bool attachRefused = op == "AEGP_SetInSpecOptionsHandle";
      const auto live = run.m->Host().Memory().LiveHandles();
      ASSERT_EQ(live.size(), attachRefused ? 2u : 1u) << "only the host's flat handle is left";
      for (AEGP_MemHandle h : live)
        if (h != run.flat) {
          EXPECT_EQ(run.m->Host().Memory().Bytes(h), run.before) << "the lost record was whole";
          run.m->Host().Memory().Release(h);
        }
    } else {
      EXPECT_EQ(run.m->Record(run.inSpec), run.before);
    }
    run.m->Host().Memory().Release(run.flat);
    run.Close(op);
  };
  Sweep(s);
}

TEST_F(FootageSweep, Dispose) {
  Scenario s;
  s.label = "DisposeInSpec";
  s.prepare = OpenInk();
  s.call = [](SweepRun& run) { return run.m->Host().Calls().DisposeInSpec(run.inSpec); };
  s.expected = [](const std::string& op) { return Usual(op, op == "ReleaseSuite"); };
  s.check = [](SweepRun& run, const std::string&, A_Err result) {
    EXPECT_EQ(run.m->Host().Memory().IsLive(run.flat), result != A_Err_NONE);
    if (run.m->Host().Memory().IsLive(run.flat)) run.m->Host().Memory().Release(run.flat);
    run.m->Host().DeleteInSpec(run.inSpec);
  };
  Sweep(s);
}

// No buffer for the preview gives the fallback; a failed release is not retried.
struct DrawRow {
  const char* label;
  PF_PixelFormat format;
  int width, height;
};
void PrintTo(const DrawRow& row, std::ostream* os) { *os << row.label; }

class DrawSweep : public ::testing::TestWithParam<DrawRow> {};

TEST_P(DrawSweep, EveryCallAndSuite) {
  const DrawRow row = GetParam();
  Scratch scratch;
  const std::string package = scratch.Package("p.lvs", kMeta, Preview());
  const auto pixels = [](const PF_EffectWorld& w) {
    const auto* p = reinterpret_cast<const uint8_t*>(w.data);
    return Bytes(p, p + size_t(w.rowbytes) * w.height);
  };
  Bytes expected, fallback;
  {
    Module m;
    PF_EffectWorld* w = m.Destination(row.format, row.width, row.height, 8);
    ASSERT_EQ(m.Draw(m.Footage(package), w), A_Err_NONE);
    expected = pixels(*w);
    ASSERT_EQ(m.Draw(m.Footage("", false), w), A_Err_NONE);
    fallback = pixels(*w);
  }
  Scenario s;
  s.label = std::string("DrawSparseFrame(") + row.label + ")";
  s.prepare = [&](SweepRun& run) {
    run.inSpec = run.m->Footage(package);
    run.world = run.m->Destination(row.format, row.width, row.height, 8);
  };
  s.call = [](SweepRun& run) { return run.m->Draw(run.inSpec, run.world); };
  s.expected = [](const std::string& op) {
    return Usual(op, IsRelease(op) || OneOf(op, {"host_new_handle", "host_lock_handle"}));
  };
  s.check = [&](SweepRun& run, const std::string& op, A_Err) {
    const Bytes drawn = pixels(*run.world);
    if (op.empty() || IsRelease(op)) {
      EXPECT_TRUE(SameSamples(drawn, expected)) << "a failed release changes nothing drawn";
      EXPECT_EQ(run.m->Host().Faults().CallLog(), run.cleanLog) << "no second attempt, nothing else released";
    } else if (OneOf(op, {"host_new_handle", "host_lock_handle"})) {
      EXPECT_TRUE(SameSamples(drawn, fallback)) << "no buffer for the preview: the fallback";
    }
    EXPECT_TRUE(run.m->Host().Worlds().GuardsIntact(run.world));
  };
  EXPECT_GT(Sweep(s), 10u);
}

INSTANTIATE_TEST_SUITE_P(Rows, DrawSweep,
                         ::testing::Values(DrawRow{"Depth8At1280x720", PF_PixelFormat_ARGB32, 1280, 720},
                                           DrawRow{"Depth16At640x360", PF_PixelFormat_ARGB64, 640, 360}),
                         [](const ::testing::TestParamInfo<DrawRow>& info) { return std::string(info.param.label); });

}  // namespace
