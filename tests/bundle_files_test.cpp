// The macOS bundle's files, generated here though the bundle is built only on
// macOS: the host reads the plug-in's name, kind and entry from them before
// it ever runs the module, so each must say what the loaded module itself
// registers and exports.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "Loader.h"
#include "SubstituteHost.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0) << command;
  return out;
}

// Parsed by Python's plistlib, which refuses what is not a property list.
nlohmann::json InfoPlist() {
  const std::string json = Output("'" LVS_PYTHON
                                  "' -c 'import json, plistlib, sys; "
                                  "print(json.dumps(plistlib.load(open(sys.argv[1], \"rb\"))))' '" LVS_INFO_PLIST "'");
  return nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
}

// The value of a property of the resource source, Property { "value" }.
std::string PiplString(const std::string& source, const std::string& property) {
  std::smatch m;
  const std::regex pattern(property + R"(\s*\{\s*"([^"]*)\"\s*\})");
  return std::regex_search(source, m, pattern) ? m[1].str() : "<no " + property + ">";
}

std::string Field(const char* bytes, size_t n) { return std::string(bytes, n); }

class BundleFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(host_.Load(LVS_PLUGIN_PATH), A_Err_NONE) << host_.LoadError(); }
  void TearDown() override {
    host_.Shutdown();
    EXPECT_TRUE(host_.Leftovers().Clean()) << host_.Leftovers().Text();
  }
  std::string FileType() const { return Field(reinterpret_cast<const char*>(&host_.ModuleInfo().sig), 4); }
  std::string KindType() const {
    return Field(reinterpret_cast<const char*>(&host_.ModuleInfo().read_kinds[0].mac.type), 4);
  }
  // The file types come first among the kinds, then the extensions.
  std::string Extension() const { return Field(&host_.ModuleInfo().read_kinds[1].ext.pad, 4); }

  lvs_host::SubstituteHost host_;
};

TEST_F(BundleFiles, InfoPlistNamesTheModuleItsFileTypeAndExtensionAsTheModuleRegistersThem) {
  const nlohmann::json plist = InfoPlist();
  ASSERT_TRUE(plist.is_object()) << "not a property list: " LVS_INFO_PLIST;
  EXPECT_EQ(plist.value("CFBundleName", ""), host_.RegisteredName());
  EXPECT_EQ(plist.value("CFBundleName", ""), std::string(host_.ModuleInfo().name));
  EXPECT_EQ(plist.value("CFBundlePackageType", ""), "AEgx");
  EXPECT_EQ(plist.value("CFBundleExecutable", ""), fs::path(LVS_PLUGIN_PATH).stem().string());

  ASSERT_TRUE(plist.contains("CFBundleDocumentTypes"));
  ASSERT_EQ(plist["CFBundleDocumentTypes"].size(), 1u);
  const nlohmann::json& kind = plist["CFBundleDocumentTypes"][0];
  EXPECT_EQ(kind["CFBundleTypeOSTypes"], nlohmann::json::array({FileType()}));
  EXPECT_EQ(FileType(), KindType());
  // The bundle's extension has no dot; the module's record has one.
  ASSERT_EQ(kind["CFBundleTypeExtensions"].size(), 1u);
  EXPECT_EQ("." + kind["CFBundleTypeExtensions"][0].get<std::string>(), Extension());
}

TEST_F(BundleFiles, PropertyResourceNamesTheRegisteredNameAndAnEntryTheModuleExports) {
  const std::string pipl = ReadText(LVS_PIPL_SOURCE);
  EXPECT_EQ(PiplString(pipl, "Name"), host_.RegisteredName());
  EXPECT_TRUE(std::regex_search(pipl, std::regex(R"(Kind\s*\{\s*AEGP\s*\})"))) << pipl;
  EXPECT_EQ(PiplString(pipl, "Category"), "General Plugin");
  EXPECT_TRUE(std::regex_search(pipl, std::regex(R"(Version\s*\{\s*65536\s*\})"))) << pipl;

  // The universal bundle's two halves each have their entry, Intel's first;
  // a Windows entry has no place in a Mac's list.
  const std::string intel = PiplString(pipl, "CodeMacIntel64"), arm = PiplString(pipl, "CodeMacARM64");
  EXPECT_EQ(arm, intel);
  EXPECT_LT(pipl.find("CodeMacIntel64"), pipl.find("CodeMacARM64"));
  EXPECT_EQ(pipl.find("CodeWin"), std::string::npos);
  lvs_host::ModuleLoader module;
  ASSERT_TRUE(module.Open(LVS_PLUGIN_PATH)) << module.Error();
  EXPECT_NE(module.Symbol(intel.c_str()), nullptr) << intel;
}

// The Apple linker's list and the version script here each export the entry
// alone; the module built with the latter exports nothing else.
TEST_F(BundleFiles, ExportListsHoldTheEntryAloneAndTheModuleExportsNothingElse) {
  const std::string entry = PiplString(ReadText(LVS_PIPL_SOURCE), "CodeMacIntel64");
  EXPECT_EQ(ReadText(LVS_EXPORTS_EXP), "_" + entry + "\n");
  EXPECT_TRUE(
      std::regex_search(ReadText(LVS_EXPORTS_MAP), std::regex(R"(global:\s*)" + entry + R"(;\s*local:\s*\*;)")));

  std::set<std::string> exported;
  std::istringstream symbols(Output("nm -D --defined-only '" LVS_PLUGIN_PATH "'"));
  for (std::string line; std::getline(symbols, line);) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) exported.insert(name);
  }
  EXPECT_EQ(exported, std::set<std::string>{entry});
}

}  // namespace
