// The .aex as the host meets it before it runs any of it: the property list
// by which the host finds the plug-in, read back out of the built file by a
// reader of the PE format written here, and found again through Windows'
// own resource lookup; the one export; imports of Windows' own DLLs only;
// and the version Windows shows.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The property list of the plug-in, as the host reads it on Windows x64:
// kind AEgx, the name, category "General Plugin", version 1.0 and the x64
// entry, byte for byte.
const char kPiPLHex[] =
    "010000000000050000004d494238646e696b0000000004000000786745414d494238656d616e000000001c0000001b4c756d697661"
    "737472696e205374796c657320496d706f727465724d4942386774616300000000100000000e47656e6572616c20506c7567696e00"
    "4d494238737265760000000004000000000001004d494238343636380000000010000000456e747279506f696e7446756e630000";

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(std::uint8_t(std::stoul(hex.substr(i, 2), 0, 16)));
  return bytes;
}

// A PE file's headers, sections and the three directories the host's loader
// and resource lookup use. Every read is checked against the file's end.
class PeFile {
 public:
  explicit PeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    const std::uint32_t pe = U32(0x3c);
    ok_ = U16(0) == 0x5a4d && U32(pe) == 0x00004550;
    const std::uint32_t coff = pe + 4, optional = coff + 20;
    machine_ = U16(coff);
    const unsigned sections = U16(coff + 2), optionalSize = U16(coff + 16);
    ok_ = ok_ && U16(optional) == 0x20b;  // PE32+
    for (unsigned d = 0; d < 3 && d < U32(optional + 108); ++d)
      directories_[d] = {U32(optional + 112 + 8 * d), U32(optional + 116 + 8 * d)};
    for (unsigned s = 0; s < sections; ++s) {
      const std::uint32_t at = optional + optionalSize + 40 * s;
      sections_.push_back({U32(at + 12), std::max(U32(at + 8), U32(at + 16)), U32(at + 20)});
    }
  }
  bool Ok() const { return ok_ && !broken_; }
  unsigned Machine() const { return machine_; }

  // Names exported, in the export directory's order.
  std::vector<std::string> Exports() {
    std::vector<std::string> names;
    const std::uint32_t dir = Offset(directories_[0].rva);
    if (!directories_[0].rva) return names;
    const std::uint32_t count = U32(dir + 24), table = Offset(U32(dir + 32));
    for (std::uint32_t i = 0; i < count && Ok(); ++i) names.push_back(Text(Offset(U32(table + 4 * i))));
    functions_ = U32(dir + 20);
    return names;
  }
  std::uint32_t ExportedFunctions() const { return functions_; }

  std::vector<std::string> ImportedDlls() {
    std::vector<std::string> names;
    if (!directories_[1].rva) return names;
    for (std::uint32_t at = Offset(directories_[1].rva); Ok() && U32(at + 12) != 0; at += 20)
      names.push_back(Text(Offset(U32(at + 12))));
    return names;
  }

  struct Resource {
    std::string type;  // a named type, as stored; empty for a numbered one
    std::uint32_t typeId = 0, nameId = 0, language = 0;
    Bytes data;
  };
  // Every resource: the type, name and language levels of the tree.
  std::vector<Resource> Resources() {
    std::vector<Resource> found;
    const std::uint32_t root = Offset(directories_[2].rva);
    if (!directories_[2].rva) return found;
    for (const Entry& type : Entries(root, root))
      for (const Entry& name : Entries(root, root + type.child))
        for (const Entry& language : Entries(root, root + name.child)) {
          const std::uint32_t entry = root + language.child;
          const std::uint32_t data = Offset(U32(entry)), size = U32(entry + 4);
          Resource r{type.name, type.id, name.id, language.id, {}};
          if (data + std::uint64_t(size) <= bytes_.size()) r.data.assign(&bytes_[data], &bytes_[data] + size);
          found.push_back(r);
        }
    return found;
  }

 private:
  struct Directory {
    std::uint32_t rva = 0, size = 0;
  };
  struct Section {
    std::uint32_t rva, size, file;
  };
  struct Entry {
    std::string name;
    std::uint32_t id, child;  // child: offset from the root, the subdirectory bit cleared
  };

  std::vector<Entry> Entries(std::uint32_t root, std::uint32_t dir) {
    std::vector<Entry> entries;
    const unsigned count = U16(dir + 12) + U16(dir + 14);
    for (unsigned i = 0; i < count && Ok(); ++i) {
      const std::uint32_t at = dir + 16 + 8 * i, name = U32(at), child = U32(at + 4) & 0x7fffffff;
      Entry e{"", 0, child};
      if (name & 0x80000000u) {
        const std::uint32_t text = root + (name & 0x7fffffff);
        for (unsigned c = 0; c < U16(text); ++c) e.name += char(U16(text + 2 + 2 * c));
      } else {
        e.id = name;
      }
      entries.push_back(e);
    }
    return entries;
  }
  std::uint32_t Offset(std::uint32_t rva) {
    for (const Section& s : sections_)
      if (rva >= s.rva && rva - s.rva < s.size) return rva - s.rva + s.file;
    broken_ = true;
    return 0;
  }
  std::string Text(std::uint32_t at) {
    std::string text;
    while (at < bytes_.size() && bytes_[at]) text += char(bytes_[at++]);
    return text;
  }
  std::uint32_t U16(std::uint64_t at) {
    if (at + 2 > bytes_.size()) return broken_ = true, 0;
    return bytes_[at] | bytes_[at + 1] << 8;
  }
  std::uint32_t U32(std::uint64_t at) {
    if (at + 4 > bytes_.size()) return broken_ = true, 0;
    return U16(at) | U16(at + 2) << 16;
  }

  Bytes bytes_;
  bool ok_ = false, broken_ = false;
  unsigned machine_ = 0;
  std::uint32_t functions_ = 0;
  Directory directories_[3];
  std::vector<Section> sections_;
};

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST(AexFile, ThePropertyListIsTheHostsBytesUnderPiPL16000English) {
  PeFile aex(LVS_PLUGIN_PATH);
  ASSERT_TRUE(aex.Ok());
  EXPECT_EQ(aex.Machine(), 0x8664u);
  const Bytes expected = FromHex(kPiPLHex);
  ASSERT_EQ(expected.size(), 158u);
  int lists = 0;
  for (const PeFile::Resource& r : aex.Resources()) {
    if (r.type != "PIPL") continue;
    ++lists;
    EXPECT_EQ(r.nameId, 16000u);
    EXPECT_EQ(r.language, 0x0409u);
    EXPECT_EQ(r.data, expected);
  }
  EXPECT_EQ(lists, 1) << "one property list";
}

TEST(AexFile, WindowsFindsThePropertyListByItsMixedCaseName) {
  const HMODULE aex =
      LoadLibraryExA(LVS_PLUGIN_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(aex, nullptr);
  const HRSRC found =
      FindResourceExW(aex, L"PiPL", MAKEINTRESOURCEW(16000), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_NE(found, nullptr);
  const DWORD size = SizeofResource(aex, found);
  const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(aex, found)));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(Bytes(data, data + size), FromHex(kPiPLHex));
  FreeLibrary(aex);
}

TEST(AexFile, ExportsTheEntryAloneAndImportsOnlyWindowsOwnDlls) {
  PeFile aex(LVS_PLUGIN_PATH);
  ASSERT_TRUE(aex.Ok());
  EXPECT_EQ(aex.Exports(), std::vector<std::string>{"EntryPointFunc"});
  EXPECT_EQ(aex.ExportedFunctions(), 1u);
  // Windows' own DLLs that a MinGW module may use; the C++ runtime, libgcc,
  // winpthreads and zlib must not be among the imports.
  const std::set<std::string> system = {"kernel32.dll", "msvcrt.dll", "user32.dll",  "advapi32.dll",
                                        "ntdll.dll",    "bcrypt.dll", "ucrtbase.dll"};
  const std::vector<std::string> imports = aex.ImportedDlls();
  EXPECT_FALSE(imports.empty());
  for (const std::string& dll : imports) EXPECT_TRUE(system.count(Lower(dll))) << dll;
}

TEST(AexFile, TheVersionResourceNamesTheProductAndVersion) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(LVS_PLUGIN_PATH, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(LVS_PLUGIN_PATH, 0, size, info.data()));
  const auto Value = [&](const char* key) {
    char* text = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
      return std::string();
    return std::string(text);
  };
  EXPECT_EQ(Value("ProductName"), "Lumivastrin Styles Importer");
  EXPECT_EQ(Value("ProductVersion"), "1.0");
  EXPECT_EQ(Value("OriginalFilename"), "LumivastrinImporter.aex");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));
}

}  // namespace
