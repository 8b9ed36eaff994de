// Fault sweeps over every callback that calls the host, one per callback
// family and road: the entry, open (usable and unusable metadata), flatten,
// inflate, dispose and draw (every depth and size class, and the fallback).
//
// A sweep runs the callback once on a fresh host to learn the host
// operations it calls, then once with each of those calls failing in turn,
// then once with each suite it acquires refused (with an error, and with
// success but no table). Every run checks the result code and what the call
// left, that no exception came out of the module, and that the host is left
// with nothing leaked, locked, acquired or misused.
#include <cstdio>
#include <functional>
#include <memory>
#include <set>

#include "fixture.h"

namespace sweep {

constexpr A_Err kInjected = 77;  // told apart from every code the plug-in makes itself
constexpr A_Err kMissingSuite = PF_Err_BAD_CALLBACK_PARAM;

// A failed release leaves the object with the host: the plug-in cannot tell
// and must not try again, so only these may leave something behind.
inline bool HostKeepsObject(const std::string& op) {
  return op == "AEGP_UnlockMemHandle" || op == "host_unlock_handle" || op == "host_dispose_handle" ||
         op == "PF_DisposeWorld" || op == "AEGP_FreeMemHandle";
}
inline bool IsRelease(const std::string& op) { return op == "ReleaseSuite" || HostKeepsObject(op); }

// Everything one run owns; the scenario uses what it needs.
struct Run {
  std::unique_ptr<lvstest::Module> m;
  AEIO_InSpecH inSpec = nullptr;
  AEGP_MemHandle flat = nullptr;
  PF_EffectWorld* world = nullptr;
  lvstest::Bytes before;
  std::vector<std::string> cleanLog;  // the host calls of the clean run
};

struct Scenario {
  std::string label;
  std::function<void(Run&)> prepare = [](Run&) {};
  std::function<A_Err(Run&)> call;
  // The result when `op` fails ("" for the clean run; "AcquireSuite" also
  // for a refused suite).
  std::function<A_Err(const std::string& op)> expected;
  // Checks what the call left and gives back what the module handed over.
  std::function<void(Run&, const std::string& op, A_Err result)> check = [](Run&, const std::string&, A_Err) {};
};

struct Counts {
  size_t hostCalls = 0, suites = 0;
};

inline Counts Sweep(const Scenario& s) {
  const auto fresh = [&](Run& run, const std::function<void(lvshost::FaultInjector&)>& arm) {
    run.m = std::make_unique<lvstest::Module>();
    s.prepare(run);
    run.m->Host().Faults().ResetCounts();
    run.m->Host().Suites().ClearEvents();
    arm(run.m->Host().Faults());
    A_Err result = -1;
    try {
      result = s.call(run);
    } catch (...) {
      ADD_FAILURE() << s.label << ": an exception came out of the module";
    }
    return result;
  };
  const auto finish = [&](Run& run, const std::string& op, A_Err result) {
    EXPECT_EQ(result, s.expected(op));
    run.m->Host().Faults().Clear();
    s.check(run, op, result);
    run.m->Release();
    const lvshost::LeftoverReport left = run.m->Host().Leftovers();
    // The object the host kept may be met again by the clean-up; only the
    // suites are the callback's alone.
    if (HostKeepsObject(op))
      EXPECT_TRUE(left.suites.empty()) << left.Text();
    else
      EXPECT_TRUE(left.Clean()) << left.Text();
  };

  std::vector<std::string> log;
  std::set<std::string> suites;
  {
    SCOPED_TRACE(s.label + ": clean run");
    Run run;
    const A_Err result = fresh(run, [](lvshost::FaultInjector&) {});
    log = run.m->Host().Faults().CallLog();
    for (const auto& e : run.m->Host().Suites().Events())
      if (e.acquire) suites.insert(e.name);
    run.cleanLog = log;
    finish(run, "", result);
  }
  for (size_t k = 1; k <= log.size(); ++k) {
    const std::string& op = log[k - 1];
    SCOPED_TRACE(s.label + ": call " + std::to_string(k) + " (" + op + ") fails");
    Run run;
    run.cleanLog = log;
    const A_Err result = fresh(run, [&](lvshost::FaultInjector& f) { f.FailNth(lvshost::kAnyOperation, k, kInjected); });
    EXPECT_EQ(run.m->Host().Faults().Injected(), 1u);
    finish(run, op, result);
  }
  for (const std::string& suite : suites) {
    for (A_Err refusal : {kMissingSuite, A_Err(0)}) {
      SCOPED_TRACE(s.label + ": " + suite + " refused with " + std::to_string(refusal));
      Run run;
      run.cleanLog = log;
      const A_Err result = fresh(run, [&](lvshost::FaultInjector& f) { f.RefuseSuite(suite, refusal); });
      finish(run, "AcquireSuite", result);
    }
  }
  std::printf("[ sweep    ] %s: %zu host calls, %zu suites\n", s.label.c_str(), log.size(), suites.size());
  return {log.size(), suites.size()};
}

}  // namespace sweep

using namespace lvstest;
using sweep::kInjected;
using sweep::kMissingSuite;

namespace {

bool OneOf(const std::string& op, std::initializer_list<const char*> ops) {
  for (const char* o : ops)
    if (op == o) return true;
  return false;
}

// The entry: every host call failing in turn, every suite refused.
TEST(Sweep, Entry) {
  std::vector<std::string> log;
  std::set<std::string> suites;
  {
    lvshost::SubstituteHost host;
    ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE);
    log = host.Faults().CallLog();
    for (const auto& e : host.Suites().Events())
      if (e.acquire) suites.insert(e.name);
  }
  ASSERT_EQ(log.size(), 7u);
  for (size_t k = 1; k <= log.size(); ++k) {
    SCOPED_TRACE("call " + std::to_string(k) + " (" + log[k - 1] + ") fails");
    lvshost::SubstituteHost host;
    host.Faults().FailNth(lvshost::kAnyOperation, k, kInjected);
    const A_Err err = host.Load(LVS_PLUGIN_PATH);
    EXPECT_EQ(err, log[k - 1] == "ReleaseSuite" ? A_Err_NONE : log[k - 1] == "AcquireSuite" ? kMissingSuite : kInjected);
    EXPECT_TRUE(host.Clean()) << host.Report();
  }
  for (const std::string& suite : suites) {
    for (A_Err refusal : {kMissingSuite, A_Err(0)}) {
      SCOPED_TRACE(suite + " refused with " + std::to_string(refusal));
      lvshost::SubstituteHost host;
      host.Faults().RefuseSuite(suite, refusal);
      EXPECT_EQ(host.Load(LVS_PLUGIN_PATH), kMissingSuite);
      EXPECT_EQ(host.PluginID(), 0) << "no plug-in id without every suite";
      EXPECT_TRUE(host.Clean()) << host.Report();
    }
  }
}

// Open: a usable package, and three whose metadata cannot be used (the code
// is then 512 whatever else failed, unless the record itself could not be
// made or the metadata's buffer could not be had).
sweep::Scenario OpenScenario(const std::string& label, const std::string& path, bool usable, bool readsMeta) {
  sweep::Scenario s;
  s.label = label;
  s.call = [path](sweep::Run& run) { return run.m->Open(path, &run.inSpec); };
  s.expected = [usable](const std::string& op) -> A_Err {
    if (op == "AcquireSuite") return kMissingSuite;
    if (OneOf(op, {"host_new_handle", "host_lock_handle"})) return PF_Err_OUT_OF_MEMORY;
    if (OneOf(op, {"AEGP_NewMemHandle", "AEGP_LockMemHandle"})) return kInjected;
    if (!usable) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    return op.empty() || sweep::IsRelease(op) ? A_Err_NONE : kInjected;
  };
  s.check = [usable, readsMeta](sweep::Run& run, const std::string& op, A_Err result) {
    if (!readsMeta) {
      EXPECT_EQ(run.m->Host().Faults().Calls("host_new_handle"), 0u) << "nothing to read";
    }
    const bool attached = result != kMissingSuite &&
                          !OneOf(op, {"AEGP_NewMemHandle", "AEGP_LockMemHandle", "AEGP_SetInSpecOptionsHandle"});
    ASSERT_EQ(run.m->Options(run.inSpec) != nullptr, attached);
    if (!attached) {
      EXPECT_EQ(run.m->Host().Memory().LiveCount(), 0u) << "a record not attached is freed";
      if (op != "AEGP_SetInSpecOptionsHandle") {
        EXPECT_FALSE(run.m->Host().InSpec(run.inSpec)->depth);
      }
      run.m->Host().DeleteInSpec(run.inSpec);
      return;
    }
    const Bytes record = run.m->Record(run.inSpec);
    ASSERT_EQ(record.size(), kRecordSize);
    if (usable && result != PF_Err_OUT_OF_MEMORY)
      EXPECT_EQ(TextAt(record, kName, 255), "Ink");
    else
      EXPECT_TRUE(AllZero(record)) << "the reset record";
    if (sweep::HostKeepsObject(op))
      run.m->Host().DeleteInSpec(run.inSpec);
    else
      run.m->Close(run.inSpec);
  };
  return s;
}

class FootageSweep : public ::testing::Test {
 protected:
  // An opened worked example: the starting point of flatten and dispose.
  std::function<void(sweep::Run&)> OpenInk() {
    const std::string path = scratch.Package("ink.lvs", {Sealed("meta", ToBytes(kMeta))});
    return [path](sweep::Run& run) {
      ASSERT_EQ(run.m->Open(path, &run.inSpec), A_Err_NONE);
      run.before = run.m->Record(run.inSpec);
    };
  }
  Scratch scratch;
};

TEST_F(FootageSweep, Open) {
  const Bytes prv(64, 1);
  const std::string ink = scratch.Package("ink.lvs", kMeta, prv);
  const std::string noMeta = scratch.Package("prv-only.lvs", {Sealed("prv", prv)});
  const std::string badMeta = scratch.Package("bad-meta.lvs", R"({"name":"Ink","author":"A. B.","hash":"9f2c"})", prv);
  sweep::Sweep(OpenScenario("InitInSpecFromFile", ink, true, true));
  sweep::Sweep(OpenScenario("InitInSpecFromFile(no meta)", noMeta, false, false));
  sweep::Sweep(OpenScenario("InitInSpecFromFile(no file)", scratch.Path("absent.lvs"), false, false));
  EXPECT_GT(sweep::Sweep(OpenScenario("InitInSpecFromFile(meta unparseable)", badMeta, false, true)).hostCalls, 12u);
}

TEST_F(FootageSweep, Flatten) {
  sweep::Scenario s;
  s.label = "FlattenOptions";
  s.prepare = OpenInk();
  s.call = [](sweep::Run& run) {
    run.flat = reinterpret_cast<AEGP_MemHandle>(0x1);
    return run.m->Cb().AEIO_FlattenOptions(run.m->Host().InData(), run.inSpec, &run.flat);
  };
  s.expected = [](const std::string& op) -> A_Err {
    if (op == "AcquireSuite") return kMissingSuite;
    return op.empty() || OneOf(op, {"ReleaseSuite", "AEGP_UnlockMemHandle"}) ? A_Err_NONE : kInjected;
  };
  s.check = [](sweep::Run& run, const std::string&, A_Err result) {
    EXPECT_EQ(run.flat == nullptr, result != A_Err_NONE) << "a flat handle only with success";
    if (run.flat) {
      EXPECT_EQ(run.m->Host().Memory().Bytes(run.flat), run.before);
      run.m->Host().Memory().Release(run.flat);
    }
    EXPECT_EQ(run.m->Record(run.inSpec), run.before);
    run.m->Close(run.inSpec);
  };
  sweep::Sweep(s);
}

TEST_F(FootageSweep, Inflate) {
  for (size_t size : {kRecordSize, size_t(1284)}) {
    sweep::Scenario s;
    s.label = "InflateOptions(" + std::to_string(size) + ")";
    s.prepare = [size](sweep::Run& run) {
      for (size_t i = 0; i < size; ++i) run.before.push_back(static_cast<uint8_t>(i * 7 + 1));
      run.flat = run.m->Host().Memory().Create(run.before);
      run.inSpec = run.m->Host().NewInSpec();
    };
    s.call = [](sweep::Run& run) {
      return run.m->Cb().AEIO_InflateOptions(run.m->Host().InData(), run.inSpec, run.flat);
    };
    // Memory failures are not reported.
    s.expected = [](const std::string& op) { return op == "AcquireSuite" ? kMissingSuite : A_Err_NONE; };
    s.check = [size](sweep::Run& run, const std::string& op, A_Err result) {
      const bool attached = result != kMissingSuite && !OneOf(op, {"AEGP_GetMemHandleSize", "AEGP_NewMemHandle",
                                                                   "AEGP_LockMemHandle", "AEGP_SetInSpecOptionsHandle"});
      ASSERT_EQ(run.m->Options(run.inSpec) != nullptr, attached);
      EXPECT_EQ(run.m->Host().Memory().Bytes(run.flat), run.before) << "the flat handle is untouched";
      if (!attached)
        EXPECT_EQ(run.m->Host().Memory().LiveCount(), 1u) << "only the host's flat handle is left";
      else if (size == kRecordSize)
        EXPECT_EQ(run.m->Record(run.inSpec), run.before);
      else
        EXPECT_TRUE(AllZero(run.m->Record(run.inSpec)));
      run.m->Host().Memory().Release(run.flat);
      if (sweep::HostKeepsObject(op))
        run.m->Host().DeleteInSpec(run.inSpec);
      else
        run.m->Close(run.inSpec);
    };
    sweep::Sweep(s);
  }
}

TEST_F(FootageSweep, Dispose) {
  const auto expected = [](const std::string& op) -> A_Err {
    if (op == "AcquireSuite") return kMissingSuite;
    return op.empty() || op == "ReleaseSuite" ? A_Err_NONE : kInjected;
  };
  sweep::Scenario s;
  s.label = "DisposeInSpec";
  s.expected = expected;
  const auto open = OpenInk();
  s.prepare = [open](sweep::Run& run) {
    open(run);
    run.flat = run.m->Options(run.inSpec);  // remembered to check it was freed
  };
  s.call = [](sweep::Run& run) { return run.m->Cb().AEIO_DisposeInSpec(run.m->Host().InData(), run.inSpec); };
  s.check = [](sweep::Run& run, const std::string&, A_Err result) {
    EXPECT_EQ(run.m->Host().Memory().IsLive(run.flat), result != A_Err_NONE);
    if (run.m->Host().Memory().IsLive(run.flat)) run.m->Host().Memory().Release(run.flat);
    run.m->Host().DeleteInSpec(run.inSpec);
  };
  sweep::Sweep(s);

  s.label = "DisposeInSpec(no record)";
  s.prepare = [](sweep::Run& run) { run.inSpec = run.m->Host().NewInSpec(); };
  s.check = [](sweep::Run& run, const std::string&, A_Err) {
    EXPECT_EQ(run.m->Host().Faults().Calls("AEGP_FreeMemHandle"), 0u) << "nothing to free";
    run.m->Host().DeleteInSpec(run.inSpec);
  };
  sweep::Sweep(s);
}

// The draw. A failure gives the failed call's code or the missing-suite
// code; no buffer for the preview gives the fallback; a failed release
// changes nothing drawn and is not tried again.
struct DrawRow {
  const char* label;
  bool preview;
  PF_PixelFormat format;
  int width, height;
};

void PrintTo(const DrawRow& row, std::ostream* os) { *os << row.label; }

class DrawSweep : public ::testing::TestWithParam<DrawRow> {};

TEST_P(DrawSweep, EveryCallAndSuite) {
  const DrawRow row = GetParam();
  Scratch scratch;
  const std::string package = row.preview ? scratch.Package("p.lvs", kMeta, Preview())
                                          : scratch.Package("p.lvs", {Sealed("meta", ToBytes(kMeta))});
  const auto bytesPerPixel = lvshost::BytesPerPixel(row.format);
  const auto pixels = [&](const PF_EffectWorld& w) {
    Bytes out;
    for (int y = 0; y < w.height; ++y) {
      const auto* p = static_cast<const uint8_t*>(w.data) + std::ptrdiff_t(y) * w.rowbytes;
      out.insert(out.end(), p, p + size_t(w.width) * bytesPerPixel);
    }
    return out;
  };
  Bytes expected, fallback;
  {
    Module m;
    PF_EffectWorld* w = m.Destination(row.format, row.width, row.height);
    ASSERT_EQ(m.Draw(m.Footage(package), w), A_Err_NONE);
    expected = pixels(*w);
    ASSERT_EQ(m.Draw(m.Footage("", false), w), A_Err_NONE);
    fallback = pixels(*w);
  }
  sweep::Scenario s;
  s.label = std::string("DrawSparseFrame(") + row.label + ")";
  s.prepare = [&](sweep::Run& run) {
    run.inSpec = run.m->Footage(package);
    run.world = run.m->Destination(row.format, row.width, row.height, 8);
  };
  s.call = [](sweep::Run& run) { return run.m->Draw(run.inSpec, run.world); };
  s.expected = [](const std::string& op) -> A_Err {
    if (op == "AcquireSuite") return kMissingSuite;
    if (op.empty() || sweep::IsRelease(op) || OneOf(op, {"host_new_handle", "host_lock_handle"})) return A_Err_NONE;
    return kInjected;
  };
  s.check = [&](sweep::Run& run, const std::string& op, A_Err) {
    const Bytes drawn = pixels(*run.world);
    if (op.empty() || sweep::IsRelease(op)) {
      EXPECT_TRUE(drawn == expected) << "a failed release changes nothing drawn";
      EXPECT_EQ(run.m->Host().Faults().CallLog(), run.cleanLog) << "no second attempt, nothing else released";
    } else if (OneOf(op, {"host_new_handle", "host_lock_handle"})) {
      EXPECT_TRUE(drawn == fallback) << "no buffer for the preview: the fallback";
    }
    EXPECT_TRUE(run.m->Host().Worlds().GuardsIntact(run.world));
  };
  EXPECT_GT(sweep::Sweep(s).hostCalls, 10u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DrawSweep,
    ::testing::Values(DrawRow{"8-bit 1280x720", true, PF_PixelFormat_ARGB32, 1280, 720},
                      DrawRow{"8-bit 640x360", true, PF_PixelFormat_ARGB32, 640, 360},
                      DrawRow{"16-bit 1280x720", true, PF_PixelFormat_ARGB64, 1280, 720},
                      DrawRow{"16-bit 640x360", true, PF_PixelFormat_ARGB64, 640, 360},
                      DrawRow{"float 1280x720", true, PF_PixelFormat_ARGB128, 1280, 720},
                      DrawRow{"float 1400x800", true, PF_PixelFormat_ARGB128, 1400, 800},
                      DrawRow{"no preview, 16-bit 320x180", false, PF_PixelFormat_ARGB64, 320, 180}));

// Callbacks that need no host service answer the same whatever the host
// refuses, take nothing and leave their outputs alone.
TEST(Sweep, CallbacksWithoutHostCalls) {
  for (int refuse = 0; refuse < 2; ++refuse) {
    SCOPED_TRACE(refuse ? "every suite refused, every call failing" : "a willing host");
    Module m;
    lvshost::SubstituteHost& host = m.Host();
    if (refuse) {
      for (const char* suite : {kAEGPRegisterSuite, kAEGPUtilitySuite, kAEGPMemorySuite, kAEGPIOInSuite,
                                kPFHandleSuite, kPFWorldSuite, kPFWorldTransformSuite, kAEGPIterateSuite})
        host.Faults().RefuseSuite(suite);
      host.Faults().FailAlways(lvshost::kAnyOperation, kInjected);
    }
    host.Faults().ResetCounts();
    const AEIO_FunctionBlock4& cb = m.Cb();
    AEIO_InSpecH inSpec = m.Footage("", false);

    AEIO_Verbiage verbiage;
    std::memset(&verbiage, 0x7F, sizeof(verbiage));
    EXPECT_EQ(cb.AEIO_GetInSpecInfo(host.InData(), inSpec, &verbiage), A_Err_NONE);
    EXPECT_STREQ(verbiage.name, "Lumivastrin Styles Importer");
    EXPECT_STREQ(verbiage.type, "LVS");
    EXPECT_STREQ(verbiage.sub_type, "To use with Lumivastrin Styles");

    const A_Time time{5, 30};
    A_LRect extent{-7, -8, -9, -10};
    EXPECT_EQ(cb.AEIO_GetActiveExtent(host.InData(), inSpec, &time, &extent), AEIO_Err_USE_DFLT_CALLBACK);
    EXPECT_EQ(extent.left + extent.top + extent.right + extent.bottom, -34) << "extent untouched";
    for (AEIO_TimeDir dir : {A_short(-1), A_short(0), A_short(1)}) {
      A_Boolean found = 0xA5;
      A_Time next{-3, 77};
      EXPECT_EQ(cb.AEIO_InqNextFrameTime(host.InData(), inSpec, &time, dir, &found, &next), AEIO_Err_USE_DFLT_CALLBACK);
      EXPECT_EQ(found, 0xA5);
      EXPECT_EQ(next.value, -3);
      EXPECT_EQ(next.scale, 77u);
    }
    EXPECT_EQ(cb.AEIO_GetActiveExtent(nullptr, nullptr, nullptr, nullptr), AEIO_Err_USE_DFLT_CALLBACK);
    EXPECT_EQ(cb.AEIO_InqNextFrameTime(nullptr, nullptr, nullptr, 0, nullptr, nullptr), AEIO_Err_USE_DFLT_CALLBACK);
    EXPECT_EQ(cb.AEIO_CloseSourceFiles(host.InData(), inSpec), A_Err_NONE);
    EXPECT_EQ(host.Faults().TotalCalls(), 0u) << "no host operation at all";
    m.Release();
    EXPECT_TRUE(host.Clean()) << host.Report();
  }
}

}  // namespace
