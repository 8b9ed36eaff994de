#include "Worlds.h"

#include <cassert>
#include <cstring>
#include <new>
#include <sstream>

#include "Resample.h"

namespace lvs_host {

int BytesPerPixel(PF_PixelFormat format) {
  switch (format) {
    case PF_PixelFormat_ARGB32:
      return 4;
    case PF_PixelFormat_ARGB64:
      return 8;
    case PF_PixelFormat_ARGB128:
      return 16;
    default:
      return 0;
  }
}

bool IsKnownFormat(PF_PixelFormat format) { return BytesPerPixel(format) != 0; }

const char* FormatName(PF_PixelFormat format) {
  switch (format) {
    case PF_PixelFormat_ARGB32:
      return "8-bit";
    case PF_PixelFormat_ARGB64:
      return "16-bit";
    case PF_PixelFormat_ARGB128:
      return "float";
    default:
      return "unknown format";
  }
}

namespace {

template <class Pixel>
Pixel* PixelAt(const PF_EffectWorld& w, int x, int y) {
  assert(x >= 0 && x < w.width && y >= 0 && y < w.height);
  auto* row = reinterpret_cast<uint8_t*>(w.data) + static_cast<ptrdiff_t>(y) * w.rowbytes;
  return reinterpret_cast<Pixel*>(row) + x;
}

}  // namespace

PF_Pixel GetPixel8(const PF_EffectWorld& w, int x, int y) { return *PixelAt<PF_Pixel>(w, x, y); }
PF_Pixel16 GetPixel16(const PF_EffectWorld& w, int x, int y) { return *PixelAt<PF_Pixel16>(w, x, y); }
PF_PixelFloat GetPixelFloat(const PF_EffectWorld& w, int x, int y) { return *PixelAt<PF_PixelFloat>(w, x, y); }
void SetPixel8(PF_EffectWorld& w, int x, int y, PF_Pixel p) { *PixelAt<PF_Pixel>(w, x, y) = p; }
void SetPixel16(PF_EffectWorld& w, int x, int y, PF_Pixel16 p) { *PixelAt<PF_Pixel16>(w, x, y) = p; }
void SetPixelFloat(PF_EffectWorld& w, int x, int y, PF_PixelFloat p) { *PixelAt<PF_PixelFloat>(w, x, y) = p; }

WorldTable::~WorldTable() = default;

PF_Err WorldTable::Allocate(A_long width, A_long height, bool clear, PF_PixelFormat format, size_t padding,
                            PF_EffectWorld* out, Record& rec) {
  const int bpp = BytesPerPixel(format);
  if (width < 1 || height < 1 || bpp == 0) return A_Err_PARAMETER;
  const uint64_t rowbytes = uint64_t(width) * bpp + padding;
  const uint64_t total = rowbytes * uint64_t(height) + kTailGuardBytes;
  if (rowbytes > 0x7FFFFFFF || total > (uint64_t(1) << 33)) return PF_Err_OUT_OF_MEMORY;
  rec.buffer = TakeBuffer(total + (kPoolSlots - 1) * kPoolSlotBytes);
  if (!rec.buffer.memory) return PF_Err_OUT_OF_MEMORY;
  rec.bytes = rec.buffer.memory.get() + size_t(rec.buffer.slot) * kPoolSlotBytes;
  rec.rowPadding = padding;
  rec.info = WorldInfo{format, width, height, static_cast<A_long>(rowbytes), false};

  const size_t pixelBytes = size_t(width) * bpp;
  const bool fill = clear || markFresh_ || !rec.buffer.reused;
  for (A_long y = 0; y < height; ++y) {
    uint8_t* row = rec.bytes + size_t(y) * rowbytes;
    if (fill) std::memset(row, clear ? 0 : kFreshWorldByte, pixelBytes);
    std::memset(row + pixelBytes, kGuardByte, padding);
  }
  std::memset(rec.bytes + size_t(height) * rowbytes, kGuardByte, kTailGuardBytes);

  std::memset(out, 0, sizeof(*out));
  out->data = reinterpret_cast<PF_PixelPtr>(rec.bytes);
  out->rowbytes = static_cast<A_long>(rowbytes);
  out->width = width;
  out->height = height;
  out->extent_hint = PF_Rect{0, 0, width, height};
  out->pix_aspect_ratio = PF_RationalScale{1, 1};
  return A_Err_NONE;
}

bool WorldTable::GuardsIntactLocked(const Record& rec) const {
  const size_t pixelBytes = size_t(rec.info.width) * BytesPerPixel(rec.info.format);
  for (A_long y = 0; y < rec.info.height; ++y) {
    const uint8_t* pad = rec.bytes + size_t(y) * rec.info.rowbytes + pixelBytes;
    for (size_t i = 0; i < rec.rowPadding; ++i)
      if (pad[i] != kGuardByte) return false;
  }
  const uint8_t* tail = rec.bytes + size_t(rec.info.height) * rec.info.rowbytes;
  for (int i = 0; i < kTailGuardBytes; ++i)
    if (tail[i] != kGuardByte) return false;
  return true;
}

WorldTable::Buffer WorldTable::TakeBuffer(size_t size) {
  for (auto it = pool_.begin(); it != pool_.end(); ++it) {
    if (it->size != size) continue;
    Buffer reused = std::move(*it);
    pool_.erase(it);
    pooledBytes_ -= size;
    reused.slot = (reused.slot + 1) % kPoolSlots;
    reused.reused = true;
    return reused;
  }
  Buffer fresh;
  fresh.memory.reset(new (std::nothrow) uint8_t[size]);
  if (fresh.memory) fresh.size = size;
  return fresh;
}

void WorldTable::Retire(std::map<const void*, Record>::iterator it) {
  Buffer& buffer = it->second.buffer;
  // The oldest buffers make room for the newest, which are likeliest to be
  // asked for again.
  if (buffer.memory && buffer.size <= kPoolMaxBytes) {
    while (pool_.size() >= size_t(kPoolMaxBuffers) || pooledBytes_ + buffer.size > kPoolMaxBytes) {
      pooledBytes_ -= pool_.front().size;
      pool_.erase(pool_.begin());
    }
    pooledBytes_ += buffer.size;
    pool_.push_back(std::move(buffer));
  }
  live_.erase(it);
}

size_t WorldTable::PooledCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pool_.size();
}

WorldTable::Record* WorldTable::Find(const PF_EffectWorld* world, const char* op) {
  if (!world) {
    misuse_.Record(std::string(op) + ": null world");
    return nullptr;
  }
  auto it = live_.find(world->data);
  if (it == live_.end()) {
    std::ostringstream s;
    s << op << ": unknown or disposed world (data " << world->data << ")";
    misuse_.Record(s.str());
    return nullptr;
  }
  return &it->second;
}

PF_Err WorldTable::New(A_long width, A_long height, PF_Boolean clear, PF_PixelFormat format, PF_EffectWorld* out) {
  if (!out) {
    misuse_.Record("PF_NewWorld: null world record");
    return A_Err_STRUCT;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Record rec;
  const PF_Err err = Allocate(width, height, clear != 0, format, size_t(rowPadding_), out, rec);
  if (err) return err;
  live_.emplace(out->data, std::move(rec));
  return A_Err_NONE;
}

PF_Err WorldTable::Dispose(PF_EffectWorld* world) {
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(world, "PF_DisposeWorld");
  if (!rec) return A_Err_PARAMETER;
  if (rec->info.madeByHost) misuse_.Record("PF_DisposeWorld: disposed a world the host side owns");
  RetireChecked(*rec, world, "PF_DisposeWorld:");
  return A_Err_NONE;
}

PF_Err WorldTable::GetPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* out) {
  if (!out) {
    misuse_.Record("PF_GetPixelFormat: null out format");
    return A_Err_STRUCT;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(world, "PF_GetPixelFormat");
  if (!rec) {
    *out = PF_PixelFormat_INVALID;
    return A_Err_PARAMETER;
  }
  *out = rec->info.format;
  return A_Err_NONE;
}

PF_Err WorldTable::Copy(PF_EffectWorld* src, PF_EffectWorld* dst, const PF_Rect* srcRect, const PF_Rect* dstRect) {
  std::lock_guard<std::mutex> lock(mutex_);
  Record* s = Find(src, "copy (source)");
  Record* d = Find(dst, "copy (destination)");
  if (!s || !d) return A_Err_PARAMETER;
  if (srcRect || dstRect) {
    misuse_.Record("copy: rectangles are not supported by this host; pass null for whole worlds");
    return A_Err_PARAMETER;
  }
  if (s->info.format != d->info.format) {
    misuse_.Record(std::string("copy: source is ") + FormatName(s->info.format) + ", destination " +
                   FormatName(d->info.format));
    return A_Err_PARAMETER;
  }
  if (src->width != s->info.width || src->height != s->info.height || dst->width != d->info.width ||
      dst->height != d->info.height) {
    misuse_.Record("copy: a world record's size differs from the world the host made");
    return A_Err_PARAMETER;
  }
  ResampleWorld(*src, *dst, s->info.format);
  return A_Err_NONE;
}

PF_EffectWorld* WorldTable::Create(PF_PixelFormat format, A_long width, A_long height, int extraRowPadding,
                                   bool clear) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int padding = rowPadding_ + extraRowPadding;
  if (padding < 0) return nullptr;
  Record rec;
  rec.hostRecord = std::make_unique<PF_EffectWorld>();
  if (Allocate(width, height, clear, format, size_t(padding), rec.hostRecord.get(), rec)) return nullptr;
  rec.info.madeByHost = true;
  PF_EffectWorld* world = rec.hostRecord.get();
  live_.emplace(world->data, std::move(rec));
  return world;
}

bool WorldTable::Release(PF_EffectWorld* world) {
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(world, "Release world");
  if (!rec) return false;
  RetireChecked(*rec, world, "destination");
  return true;
}

void WorldTable::RetireChecked(const Record& rec, const PF_EffectWorld* world, const char* who) {
  if (!GuardsIntactLocked(rec)) {
    std::ostringstream s;
    s << who << " " << rec.info.width << "x" << rec.info.height << " " << FormatName(rec.info.format)
      << " world was written outside its pixels";
    misuse_.Record(s.str());
  }
  Retire(live_.find(world->data));
}

void WorldTable::SetMarkFreshWorlds(bool mark) {
  std::lock_guard<std::mutex> lock(mutex_);
  markFresh_ = mark;
}

void WorldTable::SetRowPadding(int bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  rowPadding_ = bytes < 0 ? 0 : bytes;
}

bool WorldTable::GuardsIntact(const PF_EffectWorld* world) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!world) return false;
  auto it = live_.find(world->data);
  return it != live_.end() && GuardsIntactLocked(it->second);
}

bool WorldTable::IsLive(const PF_EffectWorld* world) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return world && live_.count(world->data) != 0;
}

std::optional<WorldInfo> WorldTable::Info(const PF_EffectWorld* world) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!world) return std::nullopt;
  auto it = live_.find(world->data);
  if (it == live_.end()) return std::nullopt;
  return it->second.info;
}

size_t WorldTable::LiveCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return live_.size();
}

std::vector<std::string> WorldTable::Leftovers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const auto& entry : live_) {
    const WorldInfo& info = entry.second.info;
    std::ostringstream line;
    line << info.width << "x" << info.height << " " << FormatName(info.format) << " world"
         << (info.madeByHost ? " made by the host side" : "") << " not disposed";
    if (!GuardsIntactLocked(entry.second)) line << ", written outside its pixels";
    out.push_back(line.str());
  }
  return out;
}

}  // namespace lvs_host
