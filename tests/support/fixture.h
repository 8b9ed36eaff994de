// Shared pieces of the tests that make packages or load the module.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "PackageBuilder.h"
#include "StylePackage.h"
#include "SubstituteHost.h"
#include "jpeg_decoder.h"
#include "ReferenceJpeg.h"
#include "JpegFixtures.h"
#include "TestPlatform.h"
#include "update_preview.h"

namespace lvs_test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using lvs_test::Subsampling;

constexpr char kMeta[] = R"({"name":"Ink","author":"A. B.","hash":"9f2c","version":3})";

constexpr size_t kPath = 0, kName = 260, kHash = 515, kAuthor = 770, kSpare = 1025, kVersion = 1280, kReserved = 1284,
                 kRecordSize = 1408;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline lvs_maker::Entry Sealed(const std::string& name, const Bytes& data,
                               const std::string& password = kPackagePassword) {
  return lvs_maker::Entry(name, data, lvs_maker::Method::Deflate, password);
}

inline uint32_t Le16At(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }

// Where the local header of the entry `name` starts in an archive's bytes,
// or npos.
inline size_t LocalHeaderOf(const Bytes& zip, const std::string& name) {
  const uint8_t signature[] = {'P', 'K', 3, 4};
  for (auto at = zip.begin(); (at = std::search(at, zip.end(), signature, signature + 4)) != zip.end(); ++at) {
    const size_t offset = size_t(at - zip.begin());
    if (offset + 30 + name.size() <= zip.size() && Le16At(zip, offset + 26) == name.size() &&
        std::equal(name.begin(), name.end(), zip.begin() + long(offset) + 30))
      return offset;
  }
  return std::string::npos;
}

// The traditional cipher's decryption, the test's own.
struct TestCipher {
  uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
  TestCipher() = default;
  TestCipher(uint32_t key0, uint32_t key1, uint32_t key2) : k0(key0), k1(key1), k2(key2) {}
  explicit TestCipher(const std::string& password) {
    for (char c : password) Update(uint8_t(c));
  }
  void Update(uint8_t plain) {
    k0 = Table()[(k0 ^ plain) & 0xFF] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = Table()[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
  }
  uint8_t Decrypt(uint8_t byte) {
    const uint32_t t = (k2 | 2) & 0xFFFF;
    const uint8_t plain = byte ^ uint8_t((t * (t ^ 1)) >> 8);
    Update(plain);
    return plain;
  }
  static const uint32_t* Table() {
    static const auto table = [] {
      std::array<uint32_t, 256> t{};
      for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
      }
      return t;
    }();
    return table.data();
  }
};

// Whether `password` decrypts the entry's 12-byte cipher header to end in
// the byte its writer put there: its CRC's high byte, or its time's when the
// CRC follows the data (flag bit 3). That is how zip tools tell another
// password.
inline bool CipherHeaderChecks(const Bytes& zip, const std::string& name, const std::string& password) {
  const size_t at = LocalHeaderOf(zip, name);
  if (at == std::string::npos) return false;
  TestCipher cipher(password);
  const size_t data = at + 30 + Le16At(zip, at + 26) + Le16At(zip, at + 28);
  uint8_t plain = 0;
  for (size_t i = 0; i < 12; ++i) plain = cipher.Decrypt(zip[data + i]);
  const bool trailing = (Le16At(zip, at + 6) & 8) != 0;
  const uint8_t written = trailing ? zip[at + 11] : zip[at + 17];  // high bytes of the time, of the CRC
  return plain == written;
}

class Scratch {
 public:
  Scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string tag = info ? std::string(info->test_suite_name()) + "_" + info->name() : "suite";
    dir_ = fs::temp_directory_path() / ("lvs_" + tag + "_" + std::to_string(lvs_test::ProcessId()));
    lvs_test::RemoveTree(dir_.u8string());
    fs::create_directories(dir_);
  }
  ~Scratch() { lvs_test::RemoveTree(dir_.u8string()); }
  const fs::path& Dir() const { return dir_; }
  // Names are UTF-8, on every system.
  std::string Path(const std::string& name) const { return (dir_ / fs::u8path(name)).u8string(); }

  std::string Package(const std::string& name, const std::vector<lvs_maker::Entry>& entries,
                      const lvs_maker::Options& options = {}) const {
    const std::string path = Path(name);
    fs::create_directories(fs::u8path(path).parent_path());
    EXPECT_TRUE(lvs_maker::WritePackage(path, entries, nullptr, options)) << path;
    return path;
  }
  std::string Package(const std::string& name, const std::string& meta, const Bytes& prv) const {
    return Package(name, lvs_maker::StyleEntries(meta, prv));
  }

  // A package whose entry `locked` is encrypted with another password, and
  // whose cipher header does not pass for the package password's: libzip
  // draws the header's bytes at random, and one header in 256 would pass.
  std::string ForeignPackage(const std::string& name, const std::vector<lvs_maker::Entry>& entries,
                             const std::string& locked) const {
    for (int attempt = 0; attempt < 16; ++attempt) {
      Bytes bytes;
      lvs_maker::ReadWholeFile(Package(name, entries), &bytes);
      if (!CipherHeaderChecks(bytes, locked, kPackagePassword)) return Path(name);
    }
    ADD_FAILURE() << "every cipher header passed for the package password";
    return Path(name);
  }

 private:
  fs::path dir_;
};

inline Bytes PhotoJpeg(int width, int height, Subsampling sampling = Subsampling::S420, bool progressive = false) {
  lvs_test::JpegOptions o;
  o.subsampling = sampling;
  o.progressive = progressive;
  o.quality = 88;
  const int channels = sampling == Subsampling::Grey ? 1 : 3;
  return lvs_test::EncodeJpeg(lvs_test::MakePhotoLikePicture(width, height, 11, channels), o);
}

inline const Bytes& Preview() {
  static const Bytes jpeg = PhotoJpeg(1280, 720);
  return jpeg;
}

// A JPEG as the reference decoder reads it: raw pixels, or as the draw
// paints them (opaque, grey spread over red, green and blue).
inline Bytes Decode(const Bytes& jpeg, bool painted = false) {
  const lvs_reference::RefResult ref = lvs_reference::ReferenceDecode(jpeg.data(), jpeg.size());
  if (ref.result != 0) return {};
  if (!painted) return ref.image;
  const size_t pixels = size_t(ref.width) * ref.height, components = size_t(ref.components);
  Bytes out;
  for (size_t i = 0; i < pixels; ++i) {
    out.push_back(255);
    for (size_t c = 0; c < 3; ++c) out.push_back(ref.image[i * components + (components == 3 ? c : 0)]);
  }
  return out;
}
inline Bytes Painted(const Bytes& jpeg) { return Decode(jpeg, true); }

inline const Bytes& FallbackJpeg() {
  static const Bytes jpeg(bin2c_update_preview, bin2c_update_preview + bin2c_update_preview_size);
  return jpeg;
}

template <class T>
std::vector<T> Samples(const PF_EffectWorld& w) {
  std::vector<T> out;
  for (int y = 0; y < w.height; ++y) {
    const T* row = reinterpret_cast<const T*>(reinterpret_cast<const char*>(w.data) + std::ptrdiff_t(y) * w.rowbytes);
    out.insert(out.end(), row, row + size_t(w.width) * 4);
  }
  return out;
}

inline std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0, n = 1; i < utf8.size(); i += n) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = b & (0xFF >> (n == 1 ? 0 : n + 1));
    for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    if (c >= 0x10000) out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<char16_t>(c >= 0x10000 ? 0xDC00 + ((c - 0x10000) & 0x3FF) : c);
  }
  return out;
}

// The NUL-terminated text at offset.
inline std::string TextAt(const Bytes& record, size_t offset, size_t size) {
  if (record.size() < offset + size) return "<short record>";
  const auto* begin = reinterpret_cast<const char*>(record.data() + offset);
  const void* nul = std::memchr(begin, 0, size);
  return nul ? std::string(begin, static_cast<const char*>(nul)) : "<unterminated>";
}

inline bool AllZero(const Bytes& bytes) {
  return !bytes.empty() && std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

// The module loaded on a fresh substitute host, with footage opened through
// the module or made host-side as a project holds it.
class Module {
 public:
  explicit Module(bool load = true) {
    loaded_ = load ? host_.Load(LVS_PLUGIN_PATH) : A_Err_NONE;
    EXPECT_EQ(loaded_, A_Err_NONE) << host_.LoadError();
  }
  ~Module() { Release(); }
  lvs_host::SubstituteHost& Host() { return host_; }
  const AEIO_FunctionBlock4& Cb() { return host_.Callbacks(); }
  A_Err Loaded() const { return loaded_; }

  A_Err Open(const std::string& utf8Path, AEIO_InSpecH* inSpec) {
    *inSpec = host_.NewInSpec();
    return host_.Calls().InitInSpecFromFile(Utf16(utf8Path), *inSpec);
  }

  AEGP_MemHandle Options(AEIO_InSpecH inSpec) {
    const auto attrs = host_.InSpec(inSpec);
    return attrs ? attrs->options : nullptr;
  }
  Bytes Record(AEIO_InSpecH inSpec) { return host_.Memory().Bytes(Options(inSpec)); }

  void Close(AEIO_InSpecH inSpec) {
    EXPECT_EQ(Options(inSpec) ? host_.Calls().DisposeInSpec(inSpec) : A_Err_NONE, A_Err_NONE);
    host_.DeleteInSpec(inSpec);
  }

  Bytes OpenRecord(const std::string& path) {
    AEIO_InSpecH inSpec = nullptr;
    EXPECT_EQ(Open(path, &inSpec), A_Err_NONE) << path;
    Bytes record = Record(inSpec);
    Close(inSpec);
    return record;
  }

  // Footage with a host-made record naming the package, or with none.
  AEIO_InSpecH Footage(const std::string& path, bool withRecord = true) {
    AEIO_InSpecH inSpec = host_.NewInSpec();
    AEGP_MemHandle h = nullptr;
    if (withRecord) {
      Bytes record(kRecordSize, 0);
      std::memcpy(record.data(), path.data(), std::min<size_t>(path.size(), 259));
      h = host_.Memory().Create(record, "LVS Options");
      host_.SetInSpecOptions(inSpec, h);
    }
    footage_.push_back({inSpec, h});
    return inSpec;
  }

  PF_EffectWorld* Destination(PF_PixelFormat format, int width = 1280, int height = 720, int padding = 12) {
    worlds_.push_back(host_.Worlds().Create(format, width, height, padding));
    return worlds_.back();
  }

  A_Err Draw(AEIO_InSpecH inSpec, PF_EffectWorld* destination) {
    return host_.Calls().DrawSparseFrame(inSpec, destination);
  }

  // Gives back what the test made: whatever remains is the module's.
  void Release() {
    host_.Faults().Clear();
    for (PF_EffectWorld* w : worlds_) host_.Worlds().Release(w);
    worlds_.clear();
    for (const auto& f : footage_) {
      if (f.options) {
        host_.SetInSpecOptions(f.inSpec, nullptr);
        if (host_.Memory().IsLive(f.options)) host_.Memory().Release(f.options);
      }
      host_.DeleteInSpec(f.inSpec);
    }
    footage_.clear();
  }

 private:
  struct Made {
    AEIO_InSpecH inSpec;
    AEGP_MemHandle options;
  };
  lvs_host::SubstituteHost host_;
  A_Err loaded_ = 0;
  std::vector<Made> footage_;
  std::vector<PF_EffectWorld*> worlds_;
};

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(m.Loaded(), A_Err_NONE); }
  void TearDown() override {
    m.Release();
    EXPECT_TRUE(m.Host().Clean()) << m.Host().Report();
  }
  std::string Package(const std::string& name, const std::string& meta = kMeta,
                      const std::string& password = kPackagePassword) {
    return scratch.Package(name, {Sealed("prv", Bytes(64, 0x5A), password), Sealed("meta", ToBytes(meta), password)});
  }

  Scratch scratch;
  Module m;
};

}  // namespace lvs_test
