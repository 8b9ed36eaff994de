// The hostile corpus (tests/hostile/make_hostile.py, run here) replayed
// through the loaded module and the lvs tool.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

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

// Opening a FIFO for reading waits for a writer that never comes. A reader
// still there after a second is let go by a writer that opens and closes at
// once (the reader then sees an empty stream), so the case ends and says so.
class FifoWatch {
 public:
  explicit FifoWatch(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) thread_ = std::thread([this, path] { Run(path); });
  }
  ~FifoWatch() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool Blocked() const { return blocked_; }

 private:
  void Run(const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    while (!done_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) continue;
      const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);  // fails unless a reader has it open
      if (fd >= 0) {
        blocked_ = true;
        ::close(fd);
      }
    }
  }
  std::atomic<bool> done_{false}, blocked_{false};
  std::thread thread_;
};

std::string Kind(A_Err drawn, const Bytes& frame, const Bytes& preview, const Bytes& fallback) {
  if (drawn != A_Err_NONE) return "draw result " + std::to_string(drawn);
  return frame == preview ? "the preview" : frame == fallback ? "the fallback" : "neither picture";
}

// The corpus, made once for the suites below.
class HostileCorpus : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new Scratch;
    const auto started = std::chrono::steady_clock::now();
    made_ = std::system(("'" LVS_PYTHON "' '" LVS_HOSTILE_GENERATOR "' '" LVS_SAMPLE_PREVIEW "' '" +
                         scratch_->Path("corpus") + "'")
                            .c_str()) == 0;
    seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(made_) << "the corpus could not be made"; }

  static Scratch* scratch_;
  static bool made_;
  static double seconds_;
};
Scratch* HostileCorpus::scratch_ = nullptr;
bool HostileCorpus::made_ = false;
double HostileCorpus::seconds_ = 0;

TEST_F(HostileCorpus, EveryCaseOpensDrawsAndChecksAsListed) {
  Scratch& scratch = *scratch_;
  const std::string dir = scratch.Path("corpus");
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
        FifoWatch watch(path);
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
        FifoWatch watch(path);
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
    int status = -1;
    {
      FifoWatch watch(path);
      status =
          std::system(("timeout 20 '" LVS_TOOL_PATH "' check '" + path + "' >/dev/null 2>'" + errors + "'").c_str());
      if (watch.Blocked()) faults.push_back("lvs check waited on the FIFO");
    }
    const int exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (exit != expectedExit) {
      const Bytes err = Slurp(errors);
      faults.push_back(
          "lvs check exited " + std::to_string(exit) + (exit == 124 ? " (timed out)" : "") + ", not " +
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
  const std::string out = scratch_->Path("check.json");
  for (const auto& [file, code] : cases) {
    const std::string path = scratch_->Path("corpus") + "/" + file + ".lvs";
    // check fails these packages (exit 1); what it says is the point here.
    const int exit =
        std::system(("'" LVS_TOOL_PATH "' check --json '" + path + "' >'" + out + "' 2>/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(exit), 1) << file;
    const Bytes report = Slurp(out);
    const std::string text(report.begin(), report.end());
    EXPECT_NE(text.find("\"code\":\"" + std::string(code) + "\""), std::string::npos) << file << ": " << text;
  }
}

}  // namespace
