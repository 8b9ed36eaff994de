// Shared setup of the footage and options tests: a loaded module on a fresh
// substitute host, a scratch directory for packages made at test time, and
// readers of the options record.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "PackageBuilder.h"
#include "StylePackage.h"
#include "SubstituteHost.h"

namespace footage_test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Offsets of the stored record.
constexpr size_t kPath = 0, kName = 260, kHash = 515, kAuthor = 770, kSpare = 1025, kVersion = 1280,
                 kReserved = 1284, kRecordSize = 1408;

constexpr char kInkMeta[] = R"({"name":"Ink","author":"A. B.","hash":"9f2c","version":3})";

inline std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n;
  }
  return out;
}

// The NUL-terminated text at offset, or "<unterminated>" when no NUL is
// found within size bytes.
inline std::string TextAt(const Bytes& record, size_t offset, size_t size) {
  if (record.size() < offset + size) return "<short record>";
  const auto* begin = reinterpret_cast<const char*>(record.data() + offset);
  const void* nul = std::memchr(begin, 0, size);
  if (!nul) return "<unterminated>";
  return std::string(begin, static_cast<const char*>(nul));
}

inline int32_t VersionOf(const Bytes& record) {
  int32_t v = 0;
  if (record.size() >= kVersion + 4) std::memcpy(&v, record.data() + kVersion, 4);
  return v;
}

inline bool AllZero(const Bytes& bytes) {
  for (uint8_t b : bytes)
    if (b) return false;
  return !bytes.empty();
}

class FootageTest : public ::testing::Test {
 public:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("lvs_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    host_ = std::make_unique<lvshost::SubstituteHost>();
    ASSERT_EQ(host_->Load(LVS_PLUGIN_PATH), A_Err_NONE) << host_->LoadError();
    ASSERT_TRUE(host_->IORegistered());
  }
  void TearDown() override {
    host_.reset();
    fs::remove_all(dir_);
  }

  lvshost::SubstituteHost& Host() { return *host_; }
  const AEIO_FunctionBlock4& Cb() { return host_->Callbacks(); }

  // A package at dir/name whose "meta" holds metaJson under the given
  // password (empty: plain), with a small "prv" beside it.
  std::string Package(const std::string& name, const std::string& metaJson,
                      const std::string& password = kPackagePassword) {
    const std::string path = (dir_ / name).string();
    fs::create_directories(fs::path(path).parent_path());
    std::vector<lvs_maker::Entry> entries;
    entries.emplace_back("prv", Bytes(64, 0x5A), lvs_maker::Method::Deflate, password);
    entries.emplace_back("meta", Bytes(metaJson.begin(), metaJson.end()), lvs_maker::Method::Deflate, password);
    std::string error;
    EXPECT_TRUE(lvs_maker::WritePackage(path, entries, &error)) << error;
    return path;
  }

  A_Err Open(const std::string& utf8Path, AEIO_InSpecH* inSpec) {
    *inSpec = host_->NewInSpec();
    const std::u16string path = Utf16(utf8Path);
    return Cb().AEIO_InitInSpecFromFile(host_->InData(), reinterpret_cast<const A_UTF16Char*>(path.c_str()), *inSpec);
  }

  AEGP_MemHandle Options(AEIO_InSpecH inSpec) {
    const auto attrs = host_->InSpec(inSpec);
    return attrs ? attrs->options : nullptr;
  }
  Bytes Record(AEIO_InSpecH inSpec) { return host_->Memory().Bytes(Options(inSpec)); }

  // Disposes through the plug-in and forgets the inSpec.
  void Close(AEIO_InSpecH inSpec) {
    EXPECT_EQ(Cb().AEIO_DisposeInSpec(host_->InData(), inSpec), A_Err_NONE);
    host_->DeleteInSpec(inSpec);
  }

  // Opens the package, expecting success, and returns its record.
  Bytes OpenRecord(const std::string& path) {
    AEIO_InSpecH inSpec = nullptr;
    EXPECT_EQ(Open(path, &inSpec), A_Err_NONE) << path;
    Bytes record = Record(inSpec);
    Close(inSpec);
    return record;
  }

  fs::path dir_;
  std::unique_ptr<lvshost::SubstituteHost> host_;
};

}  // namespace footage_test
