// The hostile corpus (tests/hostile/make_hostile.py, run here, or by ctest
// beforehand where the tests cannot run it) replayed through the loaded
// module and the lvs tool.
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "fixture.h"

using namespace lvstest;

namespace {

struct Case {
  std::string file, draw, note;
  A_Err open = 0;
};

std::vector<Case> ReadManifest(const std::string& path) {
  std::vector<Case> cases;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Case c;
    std::string open;
    if (std::getline(fields, c.file, '\t') && std::getline(fields, open, '\t') && std::getline(fields, c.draw, '\t') &&
        std::getline(fields, c.note))
      cases.push_back({c.file, c.draw, c.note, std::stoi(open)});
  }
  return cases;
}

Bytes Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string Kind(A_Err drawn, const Bytes& frame, const Bytes& preview, const Bytes& fallback) {
  if (drawn != A_Err_NONE) return "draw result " + std::to_string(drawn);
  return frame == preview ? "the preview" : frame == fallback ? "the fallback" : "neither picture";
}

// The corpus, made once for the suites below.
class HostileCorpus : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new Scratch;
    const std::string made = LVS_HOSTILE_CORPUS;
    corpus_ = made.empty() ? scratch_->Path("corpus") : made;
    const auto started = std::chrono::steady_clock::now();
    made_ =
        !made.empty() || lvs_test::RunProgram({LVS_PYTHON, LVS_HOSTILE_GENERATOR, LVS_SAMPLE_PREVIEW, corpus_}) == 0;
    seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(made_) << "the corpus could not be made"; }

  // lvs, where it is built.
  static bool HaveTool() { return !std::string(LVS_TOOL_PATH).empty(); }

  static Scratch* scratch_;
  static std::string corpus_;
  static bool made_;
  static double seconds_;
};
Scratch* HostileCorpus::scratch_ = nullptr;
std::string HostileCorpus::corpus_;
bool HostileCorpus::made_ = false;
double HostileCorpus::seconds_ = 0;

TEST_F(HostileCorpus, EveryCaseOpensDrawsAndChecksAsListed) {
  Scratch& scratch = *scratch_;
  const std::string& dir = corpus_;
  const auto generated = std::chrono::steady_clock::now();
  const std::vector<Case> cases = ReadManifest(dir + "/manifest.tsv");
  ASSERT_GT(cases.size(), 100u) << "manifest";

  const Bytes fallback = Painted(FallbackJpeg());
  std::map<std::string, Bytes> pictures = {{"preview", Painted(Slurp(LVS_SAMPLE_PREVIEW))}};
  ASSERT_FALSE(pictures["preview"].empty() || fallback.empty());
  // "preview=NAME": the package carries the JPEG NAME beside it, not the sample.
  const auto PictureFor = [&](const std::string& draw) -> const Bytes& {
    if (draw.rfind("preview=", 0) != 0) return pictures["preview"];
    const std::string name = draw.substr(8);
    if (!pictures.count(name)) pictures[name] = Painted(Slurp(dir + "/" + name));
    return pictures[name];
  };

  for (const Case& c : cases) {
    const std::string path = dir + "/" + c.file;
    std::vector<std::string> faults;
    {
      Module m;
      ASSERT_EQ(m.Loaded(), A_Err_NONE);
      A_Err opened = -1, disposed = A_Err_NONE;
      {
        const lvs_test::FifoWatch watch(path);
        AEIO_InSpecH inSpec = nullptr;
        opened = m.Open(path, &inSpec);
        if (m.Options(inSpec)) disposed = m.Host().Calls().DisposeInSpec(inSpec);
        m.Host().DeleteInSpec(inSpec);
        if (watch.Blocked()) faults.push_back("the open waited on the FIFO");
      }
      if (opened != c.open) faults.push_back("open gave " + std::to_string(opened) + ", not " + std::to_string(c.open));
      if (disposed != A_Err_NONE) faults.push_back("dispose gave " + std::to_string(disposed));

      A_Err drawn = -1;
      PF_EffectWorld* dst = m.Destination(PF_PixelFormat_ARGB32);
      {
        const lvs_test::FifoWatch watch(path);
        drawn = m.Draw(m.Footage(path), dst);
        if (watch.Blocked()) faults.push_back("the draw waited on the FIFO");
      }
      const Bytes frame = Samples<uint8_t>(*dst);
      const Bytes& preview = PictureFor(c.draw);
      if (preview.empty()) faults.push_back("the plug-in's decoder cannot decode " + c.draw.substr(8));
      const std::string got = Kind(drawn, frame, preview, fallback);
      const std::string expected = c.draw == "512"        ? "draw result 512"
                                   : c.draw == "fallback" ? "the fallback"
                                                          : "the preview";
      if (got != expected) faults.push_back("the draw gave " + got + ", not " + expected);

      m.Release();
      if (!m.Host().Clean()) faults.push_back("left behind in the host: " + m.Host().Report());
    }

    // The tool's verdict comes from the same module, so it must agree; a
    // crash or a hang shows as any other exit code.
    const int expectedExit = c.open == A_Err_NONE && c.draw.rfind("preview", 0) == 0 ? 0 : 1;
    const std::string errors = scratch.Path("lvs.stderr");
    int exit = expectedExit;
    if (HaveTool()) {
      const lvs_test::FifoWatch watch(path);
      lvs_test::RunOptions quiet;
      quiet.error = errors;
      quiet.timeoutSeconds = 20;
      exit = lvs_test::RunProgram({LVS_TOOL_PATH, "check", path}, quiet);
      if (watch.Blocked()) faults.push_back("lvs check waited on the FIFO");
    }
    if (exit != expectedExit) {
      const Bytes err = Slurp(errors);
      faults.push_back(
          "lvs check exited " + std::to_string(exit) + (exit == -1 ? " (crashed or timed out)" : "") + ", not " +
          std::to_string(expectedExit) +
          (exit > 1 ? ": " + std::string(err.begin(), err.begin() + std::min<size_t>(err.size(), 400)) : ""));
    }

    if (!faults.empty()) {
      std::string text;
      for (const std::string& f : faults) text += "\n    " + f;
      ADD_FAILURE() << c.file << " (" << c.note << "):" << text;
    }
  }
  const auto seconds = [](auto d) { return std::chrono::duration<double>(d).count(); };
  std::printf("corpus of %zu cases made in %.1f s, replayed in %.1f s\n", cases.size(), seconds_,
              seconds(std::chrono::steady_clock::now() - generated));
}

// lvs words what the reader found: another password apart from damaged data,
// for entries whose check byte is their CRC's (as most writers make them)
// and their time's (sizes and CRC after the data, as streaming writers do).
TEST_F(HostileCorpus, LvsTellsAnotherPasswordFromDamagedDataMadeEitherWay) {
  if (!HaveTool()) GTEST_SKIP() << "lvs is not built here";
  const std::pair<const char*, const char*> cases[] = {
      {"prv_other_password", "prv.wrong-password"},
      {"prv_other_password_descriptor", "prv.wrong-password"},
      {"prv_crc_mismatch", "prv.damaged"},
      {"prv_crc_mismatch_descriptor", "prv.damaged"},
      {"prv_invalid_deflate", "prv.damaged"},
      {"prv_padded_over_bound", "prv.damaged"},
      {"prv_padded_24MiB", "prv.damaged"},
      {"meta_other_password", "meta.wrong-password"},
      {"meta_other_password_descriptor", "meta.wrong-password"},
      {"meta_crc_mismatch", "meta.damaged"},
      {"meta_crc_mismatch_descriptor", "meta.damaged"},
      {"meta_padded_over_bound", "meta.damaged"},
  };
  lvs_test::RunOptions json;
  json.output = scratch_->Path("check.json");
  for (const auto& [file, code] : cases) {
    const std::string path = corpus_ + "/" + file + ".lvs";
    // check fails these packages (exit 1); what it says is the point here.
    EXPECT_EQ(lvs_test::RunProgram({LVS_TOOL_PATH, "check", "--json", path}, json), 1) << file;
    const std::string& out = json.output;
    const Bytes report = Slurp(out);
    const std::string text(report.begin(), report.end());
    EXPECT_NE(text.find("\"code\":\"" + std::string(code) + "\""), std::string::npos) << file << ": " << text;
  }
}

}  // namespace
