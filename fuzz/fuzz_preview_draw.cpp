// A well-formed encrypted package whose preview entry is the fuzzed bytes,
// opened and drawn through the loaded module at a depth and size taken from
// the input. Whatever the preview holds, the draw succeeds (an unusable
// preview gives the fallback), paints a whole opaque picture and leaves the
// host clean.
//
// Input: byte 0 depth, byte 1 size choice, bytes 2 to 5 size, the rest the
// preview.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzHost.h"
#include "PackageBuilder.h"

namespace {

constexpr char kMeta[] = R"({"name":"Fuzz","author":"F","hash":"00","version":1})";
constexpr size_t kHeader = 6;

std::string PackagePath() {
  const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/lvs_fuzz_preview_" + std::to_string(::getpid()) + ".lvs";
}

void Size(const uint8_t* h, A_long* width, A_long* height) {
  const unsigned a = h[2] | (h[3] << 8), b = h[4] | (h[5] << 8);
  switch (h[1] % 4) {
    case 0:
      *width = 1280;
      *height = 720;
      break;  // the preview's own size
    case 1:
      // Larger along one axis, so the host's copy grows it there; the other
      // axis stays short, as the host's resampling costs in proportion to
      // the destination and the module does the same for any larger size.
      if (a & 1) {
        *width = 1281 + (a >> 1) % 120;
        *height = 1 + b % 64;
      } else {
        *width = 1 + b % 64;
        *height = 721 + (a >> 1) % 80;
      }
      break;
    case 2:
      *width = 1 + a % 1280;
      *height = 1 + b % 720;
      break;  // smaller, at any ratio
    default:
      *width = 1 + a % 64;
      *height = 1 + b % 64;
      break;  // thumbnails
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    std::string p = PackagePath();
    std::atexit([] { std::remove(PackagePath().c_str()); });
    return p;
  }();
  lvs_host::SubstituteHost& host = lvs_fuzz::StartInput();

  uint8_t header[kHeader] = {};
  for (size_t i = 0; i < kHeader && i < size; ++i) header[i] = data[i];
  const size_t skip = size < kHeader ? size : kHeader;
  std::vector<uint8_t> preview(data + skip, data + size);

  std::string error;
  if (!lvs_maker::WritePackage(path, lvs_maker::StyleEntries(kMeta, preview), &error))
    lvs_fuzz::Fail("package not written: " + error);

  AEIO_InSpecH inSpec = nullptr;
  const A_Err opened = lvs_fuzz::OpenFootage(host, path, &inSpec);
  lvs_fuzz::Require(opened == A_Err_NONE, "a well-formed package did not open: " + std::to_string(opened));
  A_long width = 0, height = 0;
  Size(header, &width, &height);
  const A_Err drawn = lvs_fuzz::DrawAndCheck(host, inSpec, lvs_fuzz::FormatFromByte(header[0]), width, height);
  lvs_fuzz::Require(drawn == A_Err_NONE, "draw of a readable package failed: " + std::to_string(drawn));
  lvs_fuzz::CloseFootage(host, inSpec);
  lvs_fuzz::RequireClean(host);
  return 0;
}
