// Worlds (frame buffers) the host allocates, in the three pixel formats.
//
// Every world's rows are padded: rowbytes = width * bytes per pixel + the
// row padding (kDefaultRowPadding unless asked otherwise), and the padding
// of every row plus kTailGuardBytes after the last row hold kGuardByte.
// The guards are checked when the world is disposed (a damaged guard is
// misuse) and on demand with GuardsIntact(). A new world that is not
// cleared is filled with kFreshWorldByte in every sample byte, so that
// pixels nobody painted are recognisable. A benchmark may turn that
// marking off for reused buffers, which then hand out whatever their last
// world left, as a production host's uncleared worlds do.
//
// Freed buffers are kept in a small pool, as a real host's memory manager
// does, so that a draw each frame does not map and fault in its worlds
// afresh. A reused buffer hands out its pixels at a different offset each
// time (kPoolSlots positions), so a record kept from one of its recent
// lives still reads as disposed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LVS_HostSDK.h"
#include "Misuse.h"

namespace lvs_host {

inline constexpr uint8_t kGuardByte = 0xA5;
inline constexpr uint8_t kFreshWorldByte = 0x5A;
inline constexpr int kDefaultRowPadding = 24;
inline constexpr int kTailGuardBytes = 64;
inline constexpr int kPoolMaxBuffers = 4;
inline constexpr size_t kPoolMaxBytes = size_t(64) << 20;
inline constexpr int kPoolSlots = 16;
inline constexpr size_t kPoolSlotBytes = 64;

// 4, 8 or 16; 0 for anything but the three formats.
int BytesPerPixel(PF_PixelFormat format);
bool IsKnownFormat(PF_PixelFormat format);
const char* FormatName(PF_PixelFormat format);

// Pixel access on any world record (no bounds checks beyond an assert;
// x, y must lie inside the world).
PF_Pixel GetPixel8(const PF_EffectWorld& w, int x, int y);
PF_Pixel16 GetPixel16(const PF_EffectWorld& w, int x, int y);
PF_PixelFloat GetPixelFloat(const PF_EffectWorld& w, int x, int y);
void SetPixel8(PF_EffectWorld& w, int x, int y, PF_Pixel p);
void SetPixel16(PF_EffectWorld& w, int x, int y, PF_Pixel16 p);
void SetPixelFloat(PF_EffectWorld& w, int x, int y, PF_PixelFloat p);

struct WorldInfo {
  PF_PixelFormat format = 0;
  A_long width = 0;
  A_long height = 0;
  A_long rowbytes = 0;
  bool madeByHost = false;  // created through Create() rather than PF_NewWorld
};

class WorldTable {
 public:
  explicit WorldTable(MisuseLog& misuse) : misuse_(misuse) {}
  ~WorldTable();

  // The suite operations. Worlds are known by their data pointer, so the
  // plug-in may copy the record it got. A size below 1 or an unknown format
  // is A_Err_PARAMETER, a null record A_Err_STRUCT, allocation failure
  // PF_Err_OUT_OF_MEMORY.
  PF_Err New(A_long width, A_long height, PF_Boolean clear, PF_PixelFormat format, PF_EffectWorld* out);
  PF_Err Dispose(PF_EffectWorld* world);  // checks the guards
  PF_Err GetPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* out);
  // copy and copy_hq: both worlds known and of one pixel format, both
  // rectangles null (anything else: A_Err_PARAMETER and misuse); the whole
  // source goes into the whole destination, resampled when the sizes
  // differ (see Resample.h; both qualities use the same filter).
  PF_Err Copy(PF_EffectWorld* src, PF_EffectWorld* dst, const PF_Rect* srcRect, const PF_Rect* dstRect);

  // Host side: a world the test owns, e.g. the destination of a draw.
  // extraRowPadding is added to the row padding (may be 0 for no padding
  // beyond the default; pass -kDefaultRowPadding for unpadded rows).
  // The returned record stays valid until Release() or the table ends.
  PF_EffectWorld* Create(PF_PixelFormat format, A_long width, A_long height, int extraRowPadding = 0,
                         bool clear = false);
  bool Release(PF_EffectWorld* world);
  // Row padding used by PF_NewWorld from now on.
  void SetRowPadding(int bytes);
  // Whether uncleared worlds on reused buffers get kFreshWorldByte (the
  // default). New allocations are always marked.
  void SetMarkFreshWorlds(bool mark);

  bool GuardsIntact(const PF_EffectWorld* world) const;
  bool IsLive(const PF_EffectWorld* world) const;
  std::optional<WorldInfo> Info(const PF_EffectWorld* world) const;
  size_t LiveCount() const;
  std::vector<std::string> Leftovers() const;
  // Buffers waiting in the pool for a world of their size.
  size_t PooledCount() const;

 private:
  // One allocation: the pixels start kPoolSlotBytes * slot bytes in, and
  // the slot moves on each time the buffer is reused.
  struct Buffer {
    std::unique_ptr<uint8_t[]> memory;
    size_t size = 0;  // allocated bytes, slots included
    int slot = 0;
    bool reused = false;
  };
  struct Record {
    WorldInfo info;
    size_t rowPadding = 0;
    Buffer buffer;
    uint8_t* bytes = nullptr;                    // the world's first row, inside buffer
    std::unique_ptr<PF_EffectWorld> hostRecord;  // for Create()
  };
  PF_Err Allocate(A_long width, A_long height, bool clear, PF_PixelFormat format, size_t padding, PF_EffectWorld* out,
                  Record& rec);
  bool GuardsIntactLocked(const Record& rec) const;
  Record* Find(const PF_EffectWorld* world, const char* op);
  Buffer TakeBuffer(size_t size);
  // Ends a live record, keeping its buffer in the pool when there is room.
  void Retire(std::map<const void*, Record>::iterator it);
  // Retires a world, first recording it as damaged when a guard byte around
  // its pixels was written; who starts the record.
  void RetireChecked(const Record& rec, const PF_EffectWorld* world, const char* who);

  MisuseLog& misuse_;
  mutable std::mutex mutex_;
  std::map<const void*, Record> live_;  // keyed by data pointer
  int rowPadding_ = kDefaultRowPadding;
  bool markFresh_ = true;
  std::vector<Buffer> pool_;
  size_t pooledBytes_ = 0;
};

}  // namespace lvs_host
