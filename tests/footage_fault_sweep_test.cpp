// Fault sweep: every host operation that open, flatten, inflate and dispose
// call is made to fail in turn, and every suite they use is refused in turn.
// Each run checks the result code the rules give and that the host is left
// with no handle leaked or still locked and every suite released.
#include "footage_fixture.h"

#include <functional>
#include <iostream>
#include <set>

namespace footage_test {
namespace {

constexpr A_Err kCode = 77;  // the injected code, told apart from the plug-in's own
constexpr A_Err kMissingSuite = PF_Err_BAD_CALLBACK_PARAM;

struct SweepRun {
  AEIO_InSpecH inSpec = nullptr;
  AEGP_MemHandle flat = nullptr;
  Bytes before;  // the record or flat bytes the call starts from
};

struct Scenario {
  std::function<void(FootageTest&, SweepRun&)> setup;
  std::function<A_Err(FootageTest&, SweepRun&)> call;
  // The result when `op` fails; also checks what the call left attached.
  std::function<A_Err(const std::string& op)> expected;
  std::function<void(FootageTest&, SweepRun&, const std::string& op, A_Err got)> check;
  std::function<void(FootageTest&, SweepRun&)> cleanup;
};

// Failures the host itself makes irreparable: the plug-in cannot tell that
// an unlock or dispose did nothing, so the object stays locked or alive.
bool LeavesHostObjectBehind(const std::string& op) {
  return op == "AEGP_UnlockMemHandle" || op == "host_unlock_handle" || op == "host_dispose_handle";
}

class FaultSweepTest : public FootageTest {
 public:
  void Restart() {
    host_.reset();
    host_ = std::make_unique<lvshost::SubstituteHost>();
    ASSERT_EQ(host_->Load(LVS_PLUGIN_PATH), A_Err_NONE) << host_->LoadError();
  }

  // Runs the scenario once to learn its host calls, then once per call with
  // that call failing, then once per suite it acquires with the suite
  // refused (with an error, and with success but no table). Returns the
  // number of injected faults.
  uint64_t Sweep(const char* label, const Scenario& s) {
    Restart();
    SweepRun clean;
    s.setup(*this, clean);
    Host().Faults().ResetCounts();
    Host().Suites().ClearEvents();
    EXPECT_EQ(s.call(*this, clean), A_Err_NONE) << label;
    const std::vector<std::string> log = Host().Faults().CallLog();
    std::set<std::string> suites;
    for (const auto& e : Host().Suites().Events())
      if (e.acquire) suites.insert(e.name);
    s.check(*this, clean, "", A_Err_NONE);
    s.cleanup(*this, clean);
    EXPECT_TRUE(Host().Clean()) << label << "\n" << Host().Report();
    EXPECT_GT(log.size(), 2u) << label;

    uint64_t injected = 0;
    for (size_t k = 1; k <= log.size(); ++k) {
      const std::string& op = log[k - 1];
      SCOPED_TRACE(std::string(label) + ": call " + std::to_string(k) + " " + op + " fails");
      Restart();
      SweepRun run;
      s.setup(*this, run);
      Host().Faults().ResetCounts();
      Host().Faults().FailNth(lvshost::kAnyOperation, k, kCode);
      const A_Err got = s.call(*this, run);
      injected += Host().Faults().Injected();
      EXPECT_EQ(Host().Faults().Injected(), 1u);
      Host().Faults().Clear();
      EXPECT_EQ(got, s.expected(op));
      s.check(*this, run, op, got);
      s.cleanup(*this, run);
      const lvshost::LeftoverReport left = Host().Leftovers();
      if (LeavesHostObjectBehind(op))
        EXPECT_TRUE(left.suites.empty()) << Host().Report();
      else
        EXPECT_TRUE(left.Clean()) << Host().Report();
    }

    for (const std::string& suite : suites) {
      for (A_Err refusal : {kMissingSuite, A_Err(0)}) {
        SCOPED_TRACE(std::string(label) + ": " + suite + " refused with " + std::to_string(refusal));
        Restart();
        SweepRun run;
        s.setup(*this, run);
        Host().Faults().ResetCounts();
        Host().Faults().RefuseSuite(suite, refusal);
        EXPECT_EQ(s.call(*this, run), kMissingSuite);
        ++injected;
        Host().Faults().Clear();
        s.check(*this, run, "AcquireSuite", kMissingSuite);
        s.cleanup(*this, run);
        EXPECT_TRUE(Host().Clean()) << Host().Report();
      }
    }
    std::cout << "[ sweep    ] " << label << ": " << log.size() << " host calls, " << suites.size()
              << " suites, " << injected << " injected faults\n";
    ::testing::Test::RecordProperty(std::string(label) + "_injected_faults", std::to_string(injected));
    return injected;
  }

  // An opened worked example: the starting point of flatten and dispose.
  void OpenInk(SweepRun& run) {
    static int n = 0;
    ASSERT_EQ(Open(Package("ink" + std::to_string(n++) + ".lvs", kInkMeta), &run.inSpec), A_Err_NONE);
    run.before = Record(run.inSpec);
  }

  void DisposeIfAttached(SweepRun& run) {
    if (Options(run.inSpec)) {
      EXPECT_EQ(Cb().AEIO_DisposeInSpec(Host().InData(), run.inSpec), A_Err_NONE);
    }
    Host().DeleteInSpec(run.inSpec);
  }
};

TEST_F(FaultSweepTest, Open) {
  const std::string path = Package("ink.lvs", kInkMeta);
  Scenario s;
  s.setup = [](FootageTest&, SweepRun&) {};
  s.call = [&](FootageTest& t, SweepRun& run) {
    return static_cast<FaultSweepTest&>(t).Open(path, &run.inSpec);
  };
  s.expected = [](const std::string& op) -> A_Err {
    if (op == "AcquireSuite") return kMissingSuite;
    if (op == "host_new_handle" || op == "host_lock_handle") return PF_Err_OUT_OF_MEMORY;
    if (op == "ReleaseSuite" || op == "AEGP_UnlockMemHandle" || op == "host_unlock_handle" ||
        op == "host_dispose_handle")
      return A_Err_NONE;
    return kCode;  // making, locking or attaching the record, or an attribute
  };
  s.check = [](FootageTest& t, SweepRun& run, const std::string& op, A_Err got) {
    auto& f = static_cast<FaultSweepTest&>(t);
    const bool attached = !(got == kMissingSuite || op == "AEGP_NewMemHandle" || op == "AEGP_LockMemHandle" ||
                            op == "AEGP_SetInSpecOptionsHandle");
    ASSERT_EQ(f.Options(run.inSpec) != nullptr, attached);
    if (!attached) {
      EXPECT_EQ(f.Host().Memory().LiveCount(), 0u) << "an unattached record is freed";
      if (op != "AEGP_SetInSpecOptionsHandle") {
        EXPECT_FALSE(f.Host().InSpec(run.inSpec)->depth) << "nothing declared";
      }
      return;
    }
    const Bytes r = f.Record(run.inSpec);
    if (got == PF_Err_OUT_OF_MEMORY)
      EXPECT_TRUE(AllZero(r)) << "reset record";
    else
      EXPECT_EQ(TextAt(r, kName, 255), "Ink");
  };
  s.cleanup = [](FootageTest& t, SweepRun& run) { static_cast<FaultSweepTest&>(t).DisposeIfAttached(run); };
  Sweep("InitInSpecFromFile", s);
}

TEST_F(FaultSweepTest, Flatten) {
  Scenario s;
  s.setup = [](FootageTest& t, SweepRun& run) { static_cast<FaultSweepTest&>(t).OpenInk(run); };
  s.call = [](FootageTest& t, SweepRun& run) {
    run.flat = reinterpret_cast<AEGP_MemHandle>(0x1);
    return t.Host().Callbacks().AEIO_FlattenOptions(t.Host().InData(), run.inSpec, &run.flat);
  };
  s.expected = [](const std::string& op) -> A_Err {
    if (op == "AcquireSuite") return kMissingSuite;
    if (op == "ReleaseSuite" || op == "AEGP_UnlockMemHandle") return A_Err_NONE;
    return kCode;
  };
  s.check = [](FootageTest& t, SweepRun& run, const std::string&, A_Err got) {
    auto& f = static_cast<FaultSweepTest&>(t);
    EXPECT_EQ(run.flat == nullptr, got != A_Err_NONE) << "a flat handle only with success";
    if (run.flat) {
      EXPECT_EQ(f.Host().Memory().Bytes(run.flat), run.before);
    }
    EXPECT_EQ(f.Record(run.inSpec), run.before);
  };
  s.cleanup = [](FootageTest& t, SweepRun& run) {
    auto& f = static_cast<FaultSweepTest&>(t);
    if (run.flat) f.Host().Memory().Release(run.flat);
    f.DisposeIfAttached(run);
  };
  Sweep("FlattenOptions", s);
}

Scenario InflateScenario(size_t flatSize) {
  Scenario s;
  s.setup = [flatSize](FootageTest& t, SweepRun& run) {
    run.before.resize(flatSize);
    for (size_t i = 0; i < flatSize; ++i) run.before[i] = static_cast<uint8_t>(i * 7 + 1);
    run.flat = t.Host().Memory().Create(run.before);
    run.inSpec = t.Host().NewInSpec();
  };
  s.call = [](FootageTest& t, SweepRun& run) {
    return t.Host().Callbacks().AEIO_InflateOptions(t.Host().InData(), run.inSpec, run.flat);
  };
  s.expected = [](const std::string& op) -> A_Err {
    return op == "AcquireSuite" ? kMissingSuite : A_Err_NONE;  // memory failures are not reported
  };
  s.check = [flatSize](FootageTest& t, SweepRun& run, const std::string& op, A_Err got) {
    auto& f = static_cast<FaultSweepTest&>(t);
    const bool attached = !(got == kMissingSuite || op == "AEGP_GetMemHandleSize" || op == "AEGP_NewMemHandle" ||
                            op == "AEGP_LockMemHandle" || op == "AEGP_SetInSpecOptionsHandle");
    ASSERT_EQ(f.Options(run.inSpec) != nullptr, attached);
    EXPECT_EQ(f.Host().Memory().Bytes(run.flat), run.before) << "the flat handle is untouched";
    if (!attached)
      EXPECT_EQ(f.Host().Memory().LiveCount(), 1u) << "only the host's flat handle is left";
    else if (flatSize == kRecordSize)
      EXPECT_EQ(f.Record(run.inSpec), run.before);
    else
      EXPECT_TRUE(AllZero(f.Record(run.inSpec)));
  };
  s.cleanup = [](FootageTest& t, SweepRun& run) {
    auto& f = static_cast<FaultSweepTest&>(t);
    f.Host().Memory().Release(run.flat);
    f.DisposeIfAttached(run);
  };
  return s;
}

TEST_F(FaultSweepTest, InflateRecord) { Sweep("InflateOptions(1408)", InflateScenario(kRecordSize)); }

TEST_F(FaultSweepTest, InflateOtherSize) { Sweep("InflateOptions(1284)", InflateScenario(1284)); }

TEST_F(FaultSweepTest, Dispose) {
  Scenario s;
  s.setup = [](FootageTest& t, SweepRun& run) {
    static_cast<FaultSweepTest&>(t).OpenInk(run);
    run.flat = t.Host().InSpec(run.inSpec)->options;  // remembered to check it was freed
  };
  s.call = [](FootageTest& t, SweepRun& run) {
    return t.Host().Callbacks().AEIO_DisposeInSpec(t.Host().InData(), run.inSpec);
  };
  s.expected = [](const std::string& op) -> A_Err {
    if (op == "AcquireSuite") return kMissingSuite;
    if (op == "ReleaseSuite") return A_Err_NONE;
    return kCode;
  };
  s.check = [](FootageTest& t, SweepRun& run, const std::string&, A_Err got) {
    EXPECT_EQ(t.Host().Memory().IsLive(run.flat), got != A_Err_NONE);
  };
  s.cleanup = [](FootageTest& t, SweepRun& run) {
    if (t.Host().Memory().IsLive(run.flat)) t.Host().Memory().Release(run.flat);
    t.Host().DeleteInSpec(run.inSpec);
  };
  Sweep("DisposeInSpec", s);
}

}  // namespace
}  // namespace footage_test
