// The hostile corpus (tests/hostile/make_hostile.py, run here, or by ctest
// beforehand where the tests cannot run it) replayed through the loaded
// module and the lvs tool.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "TextCodec.h"
#include "fixture.h"

using namespace lvs_test;
using nlohmann::json;

namespace {

struct Case {
  std::string file, draw, note;
  A_Err open = 0;
  std::vector<std::string> codes;  // what lvs check must report, sorted
};

std::vector<Case> ReadManifest(const std::string& path) {
  std::vector<Case> cases;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Case c;
    std::string open, codes;
    if (!std::getline(fields, c.file, '\t') || !std::getline(fields, open, '\t') ||
        !std::getline(fields, c.draw, '\t') || !std::getline(fields, codes, '\t') || !std::getline(fields, c.note))
      continue;
    c.open = std::stoi(open);
    std::istringstream words(codes == "-" ? "" : codes);
    for (std::string code; words >> code;) c.codes.push_back(code);
    std::sort(c.codes.begin(), c.codes.end());
    cases.push_back(c);
  }
  return cases;
}

std::vector<std::string> CodesOf(const json& line) {
  std::vector<std::string> codes;
  for (const json& p : line.at("problems")) codes.push_back(p.at("code"));
  std::sort(codes.begin(), codes.end());
  return codes;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text.empty() ? "(none)" : text;
}

// One JSON line per package, as a command printed them.
std::vector<json> JsonLines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line, nullptr, false));
  return lines;
}

Bytes Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// lvs with its JSON report into `report` and its errors into `errors`; the
// exit code, -1 when it crashed or ran past 20 s.
int Lvs(const std::vector<std::string>& arguments, const std::string& report, const std::string& errors = {},
        int timeoutSeconds = 20) {
  std::vector<std::string> argv = {LVS_TOOL_PATH};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  lvs_test::RunOptions options;
  options.output = report;
  options.error = errors;
  options.timeoutSeconds = timeoutSeconds;
  return lvs_test::RunProgram(argv, options);
}

std::string Kind(A_Err drawn, const Bytes& frame, const Bytes& preview, const Bytes& fallback) {
  if (drawn != A_Err_NONE) return "draw result " + std::to_string(drawn);
  return frame == preview ? "the preview" : frame == fallback ? "the fallback" : "neither picture";
}

// What the generator broke in each preview that is a damaged JPEG, in the
// words the decoder's cause is told with.
const std::map<std::string, std::string> kDamage = {
    {"bomb_1280x720_no_scan.lvs", "ends before its scan does (after 0 whole MCUs)"},
    {"jpeg_dht_overfull.lvs", "has a Huffman table with more codes than fit in 16 bits"},
    {"jpeg_restart_missing.lvs", "lacks a restart marker where its restart interval puts one (RST0)"},
    {"jpeg_truncated.lvs", "ends before its scan does"},
    {"jpeg_truncated_eoi.lvs", "ends before its scan does"},
};

// What lvs check gets wrong of one case: it names what the generator built,
// and only that; a crash or a hang shows as any other exit code.
std::vector<std::string> ToolFaults(const Case& c, const std::string& path, Scratch& scratch) {
  std::vector<std::string> faults;
  const int expectedExit = c.codes.empty() ? 0 : 1;
  const std::string errors = scratch.Path("lvs.stderr"), report = scratch.Path("lvs.json");
  int exit = -1;
  {
    const lvs_test::FifoWatch watch(path);
    exit = Lvs({"check", "--json", path}, report, errors);
    if (watch.Blocked()) faults.push_back("lvs check waited on the FIFO");
  }
  if (exit != expectedExit) {
    const Bytes err = Slurp(errors);
    faults.push_back(
        "lvs check exited " + std::to_string(exit) + (exit == -1 ? " (crashed or timed out)" : "") + ", not " +
        std::to_string(expectedExit) +
        (exit > 1 ? ": " + std::string(err.begin(), err.begin() + std::min<size_t>(err.size(), 400)) : ""));
  }
  const Bytes out = Slurp(report);
  const std::vector<json> lines = JsonLines(std::string(out.begin(), out.end()));
  if (lines.size() != 1 || lines[0].is_discarded()) {
    faults.push_back("lvs check printed no JSON line");
  } else {
    if (CodesOf(lines[0]) != c.codes)
      faults.push_back("lvs check reported " + Joined(CodesOf(lines[0])) + ", not " + Joined(c.codes));
    // No known fault reaches the sentences for what the tool cannot name,
    // and a damaged preview's sentence says what is damaged.
    for (const json& p : lines[0]["problems"]) {
      const std::string message = p["message"];
      if (message.find("cannot name") != std::string::npos || message.find("does not support") != std::string::npos)
        faults.push_back("lvs check could not name a cause: " + message);
      if (p["code"] == "prv.damaged-jpeg" &&
          (!kDamage.count(c.file) || message.find(kDamage.at(c.file)) == std::string::npos))
        faults.push_back("the damage is not named as the generator made it: " + message);
    }
  }
  return faults;
}

// Whether lvs sees the case as the generator made it. A Windows build's
// corpus is made by the build machine, whose full paths have no drive
// letter (so the path length cases count two bytes short there) and may be
// bytes that are not UTF-8 (which no Windows program can name).
bool ToolSeesAsMade(const Case& c) {
  if (lvs_test::FileNamesAreBytes()) return true;
  std::u16string wide;
  return Utf8ToUtf16(c.file, &wide) && c.file.rfind("long_path_", 0) != 0;
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
    // Where names are UTF-16 the host never hands over a name that is not
    // UTF-8, and the record cannot name that file.
    std::u16string wide;
    if (!lvs_test::FileNamesAreBytes() && !Utf8ToUtf16(c.file, &wide)) continue;
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

    if (HaveTool() && ToolSeesAsMade(c)) {
      const std::vector<std::string> said = ToolFaults(c, path, scratch);
      faults.insert(faults.end(), said.begin(), said.end());
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

// Every code of the problem table is made by a case of the corpus, but for
// those no file can make: memory running out, a read of the file failing
// (one past its end is damage, found before reading), and what only a
// misbehaving module does (lvs_contrary_test); a file no one may read cannot
// be made by root.
TEST_F(HostileCorpus, EveryProblemCodeIsMadeByACase) {
  if (!HaveTool()) GTEST_SKIP() << "lvs is not built here";
  std::set<std::string> made;
  for (const Case& c : ReadManifest(corpus_ + "/manifest.tsv")) made.insert(c.codes.begin(), c.codes.end());
  std::set<std::string> unmade = {"meta.out-of-memory",  "prv.out-of-memory",  "meta.unreadable", "prv.unreadable",
                                  "module.open-refused", "module.draw-failed", "module.fallback"};
  if (lvs_test::ReadsEveryFile()) unmade.insert("file.unreadable");
  // The build machine makes a Windows build's corpus, with an unreadable
  // file only when its user is not root, which cannot be told from here.
  const bool unreadableUnknown = !std::string(LVS_HOSTILE_CORPUS).empty();
  const std::string listing = scratch_->Path("codes.json");
  ASSERT_EQ(Lvs({"check", "--codes", "--json"}, listing), 0);
  const Bytes text = Slurp(listing);
  const std::vector<json> codes = JsonLines(std::string(text.begin(), text.end()));
  ASSERT_GT(codes.size(), 50u);
  for (const json& line : codes) {
    const std::string code = line["code"];
    if (code == "file.unreadable" && unreadableUnknown) continue;
    if (unmade.count(code))
      EXPECT_EQ(made.count(code), 0u) << code << " is made after all: take it off the list";
    else
      EXPECT_EQ(made.count(code), 1u) << "no case of the corpus makes " << code;
  }
}

// check, info and render judge every case by the same code: the same
// problems, severity and outcome, and info and render fail exactly the
// packages whose preview the host would not show.
TEST_F(HostileCorpus, CheckInfoAndRenderAgreeOnEveryCase) {
  if (!HaveTool()) GTEST_SKIP() << "lvs is not built here";
  const std::string& dir = corpus_;
  const std::vector<Case> cases = ReadManifest(dir + "/manifest.tsv");
  std::vector<std::string> all = {"check", "--json"};
  for (const Case& c : cases) all.push_back(dir + "/" + c.file);
  const std::string report = scratch_->Path("agree.json"), png = scratch_->Path("agree.png");
  EXPECT_EQ(Lvs(all, report, {}, 120), 1);
  const Bytes checked = Slurp(report);
  const std::vector<json> checks = JsonLines(std::string(checked.begin(), checked.end()));
  ASSERT_EQ(checks.size(), cases.size());

  const auto single = [&](const std::string& command, const std::string& path, int* exit) {
    std::vector<std::string> arguments = {command, "--json", path};
    if (command == "render") arguments.insert(arguments.end(), {"-o", png});
    *exit = Lvs(arguments, report);
    const Bytes out = Slurp(report);
    const std::vector<json> lines = JsonLines(std::string(out.begin(), out.end()));
    return lines.size() == 1 ? lines[0] : json();
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    if (!ToolSeesAsMade(c)) continue;
    const std::string path = dir + "/" + c.file;
    std::vector<std::string> faults;
    const json& check = checks[i];
    if (check.is_discarded() || CodesOf(check) != c.codes) faults.push_back("check: " + check.dump());
    // A lossy record or a warning still shows the package's own preview.
    const bool showsPreview =
        check["severity"].is_null() || check["severity"] == "lossy" || check["severity"] == "warning";
    for (const char* command : {"info", "render"}) {
      int exit = -1;
      const json line = single(command, path, &exit);
      if (line.is_null() || line.is_discarded()) {
        faults.push_back(std::string(command) + " printed no JSON line (exit " + std::to_string(exit) + ")");
        continue;
      }
      for (const char* key : {"ok", "severity", "shows", "problems"})
        if (line[key] != check[key])
          faults.push_back(std::string(command) + "'s " + key + " " + line[key].dump() + ", check's " +
                           check[key].dump());
      if (exit != (showsPreview ? 0 : 1)) faults.push_back(std::string(command) + " exited " + std::to_string(exit));
    }
    if (!faults.empty()) {
      std::string text;
      for (const std::string& f : faults) text += "\n    " + f;
      ADD_FAILURE() << c.file << " (" << c.note << "):" << text;
    }
  }
}

}  // namespace
