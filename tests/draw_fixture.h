// Shared pieces of the drawing tests: packages with a chosen preview,
// footage whose options record names them, destinations, and the pictures a
// draw must produce (our own decoder's bytes, painted opaque).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "PackageBuilder.h"
#include "StylePackage.h"
#include "SubstituteHost.h"
#include "jpeg_decoder.h"
#include "support/JpegFixtures.h"
#include "update_preview.h"

namespace drawtest {

using Bytes = std::vector<uint8_t>;
constexpr char kMeta[] = R"({"name": "Ink", "author": "A. B.", "hash": "9f2c", "version": 3})";

// A decoded picture as the draw paints it: A, R, G, B bytes per pixel.
struct Argb {
  int width = 0, height = 0;
  Bytes bytes;
};

inline Argb Painted(const Bytes& jpeg) {
  Jpeg::Decoder d(jpeg.data(), jpeg.size(), [](uint64_t n) { return std::malloc(n); }, std::free);
  Argb out;
  if (d.GetResult() != Jpeg::Decoder::Success) return out;
  out.width = d.GetWidth();
  out.height = d.GetHeight();
  const int channels = d.GetComponentCount();
  const uint8_t* p = d.GetImage();
  out.bytes.resize(size_t(out.width) * out.height * 4);
  for (size_t i = 0; i < size_t(out.width) * out.height; ++i) {
    out.bytes[4 * i] = 255;
    for (int c = 0; c < 3; ++c) out.bytes[4 * i + 1 + c] = p[i * channels + (channels == 3 ? c : 0)];
  }
  return out;
}

inline Argb Fallback() { return Painted(Bytes(bin2c_update_preview, bin2c_update_preview + bin2c_update_preview_size)); }

inline Bytes PhotoJpeg(int width, int height, lvs_test::Subsampling sampling = lvs_test::Subsampling::S420,
                       bool progressive = false, unsigned seed = 11) {
  lvs_test::JpegOptions o;
  o.subsampling = sampling;
  o.progressive = progressive;
  o.quality = 88;
  const int channels = sampling == lvs_test::Subsampling::Grey ? 1 : 3;
  return lvs_test::EncodeJpeg(lvs_test::MakePhotoLikePicture(width, height, seed, channels), o);
}

// Samples of a world row by row, without padding.
template <class T>
std::vector<T> Samples(const PF_EffectWorld& w) {
  std::vector<T> out;
  for (int y = 0; y < w.height; ++y) {
    const T* row = reinterpret_cast<const T*>(static_cast<const char*>(w.data) + std::ptrdiff_t(y) * w.rowbytes);
    out.insert(out.end(), row, row + size_t(w.width) * 4);
  }
  return out;
}

// Puts an 8-bit picture into a host world of its size.
inline void Put(const Argb& picture, PF_EffectWorld& w) {
  for (int y = 0; y < picture.height; ++y)
    std::memcpy(static_cast<char*>(w.data) + std::ptrdiff_t(y) * w.rowbytes, &picture.bytes[size_t(y) * picture.width * 4],
                size_t(picture.width) * 4);
}

// A loaded module on a fresh substitute host, a scratch directory, and
// footage made host-side: an options record of 1408 bytes holding the path.
class DrawFixture {
 public:
  explicit DrawFixture(const std::string& tag) {
    dir_ = std::filesystem::temp_directory_path() / ("lvs_draw_" + tag + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    loaded_ = host_.Load(LVS_PLUGIN_PATH);
  }
  ~DrawFixture() {
    Release();
    std::filesystem::remove_all(dir_);
  }

  lvshost::SubstituteHost& Host() { return host_; }
  A_Err Loaded() const { return loaded_; }

  std::string Package(const std::string& name, const std::vector<lvs_maker::Entry>& entries) {
    const std::string path = (dir_ / name).string();
    std::string error;
    EXPECT_TRUE(lvs_maker::WritePackage(path, entries, &error)) << error;
    return path;
  }
  std::string PackageWithPreview(const std::string& name, const Bytes& prv) {
    return Package(name, lvs_maker::StyleEntries(kMeta, prv));
  }

  AEIO_InSpecH Footage(const std::string& path) {
    Bytes record(1408, 0);
    std::memcpy(record.data(), path.data(), std::min<size_t>(path.size(), 259));
    AEGP_MemHandle h = host_.Memory().Create(record, "LVS Options");
    AEIO_InSpecH inSpec = host_.NewInSpec();
    host_.SetInSpecOptions(inSpec, h);
    inSpecs_.push_back({inSpec, h});
    return inSpec;
  }
  AEIO_InSpecH FootageWithoutOptions() {
    AEIO_InSpecH inSpec = host_.NewInSpec();
    inSpecs_.push_back({inSpec, nullptr});
    return inSpec;
  }
  AEGP_MemHandle OptionsOf(AEIO_InSpecH inSpec) const {
    for (auto& s : inSpecs_)
      if (s.inSpec == inSpec) return s.options;
    return nullptr;
  }

  PF_EffectWorld* Destination(PF_PixelFormat format, int width = 1280, int height = 720, int padding = 12) {
    PF_EffectWorld* w = host_.Worlds().Create(format, width, height, padding);
    EXPECT_NE(w, nullptr);
    worlds_.push_back(w);
    return w;
  }

  A_Err Draw(AEIO_InSpecH inSpec, PF_EffectWorld* destination) {
    AEIO_DrawSparseFramePB pb{};
    AEIO_DrawingFlags flags = 0;
    return host_.Callbacks().AEIO_DrawSparseFrame(host_.InData(), inSpec, &pb, destination, &flags);
  }

  // Gives back everything the test itself made, so that what remains is the
  // module's.
  void Release() {
    for (PF_EffectWorld* w : worlds_) host_.Worlds().Release(w);
    worlds_.clear();
    for (auto& s : inSpecs_) {
      if (s.options) {
        host_.SetInSpecOptions(s.inSpec, nullptr);
        host_.Memory().Release(s.options);
      }
      host_.DeleteInSpec(s.inSpec);
    }
    inSpecs_.clear();
  }

 private:
  struct InSpecEntry {
    AEIO_InSpecH inSpec;
    AEGP_MemHandle options;
  };
  lvshost::SubstituteHost host_;
  A_Err loaded_ = 0;
  std::filesystem::path dir_;
  std::vector<InSpecEntry> inSpecs_;
  std::vector<PF_EffectWorld*> worlds_;
};

}  // namespace drawtest
