// The frame's pieces alone, to show what overlapping them saves: the decoder
// alone (the whole picture against tjDecompress2, and into 8-bit rows as the
// draw takes them), the read alone (LVS_ReadFile: the cipher, inflate and
// the CRC one after the other) with the cipher's serial loop and inflate
// each alone, and the 8-bit frame that does all of it; then the frame for
// each form an entry can take (stored or deflated, plain or encrypted)
// against the turbo frame of the same package. Rounds interleaved, medians
// of CPU time beside the wall clock.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "PackageBuilder.h"
#include "StylePackage.h"
#include "ZipReader.h"
#include "frame_bench.h"
#include "jpeg_decoder.h"

namespace frame {
namespace {

// The entry's raw bytes as the package holds them (cipher header first).
Bytes RawEntry(const std::string& package) {
  const ZipArchive archive(package.c_str());
  EntryInfo info;
  LocalHeader local;
  if (!archive.Locate(kPreviewEntryName, &info) || !archive.DataStart(info, &local)) Fail("cannot find " + package);
  Bytes raw(info.compressedSize);
  if (!archive.ReadAt(local.dataOffset, raw.data(), raw.size())) Fail("cannot read " + package);
  return raw;
}

// The cipher's textbook loop, out of place, with zlib's table.
void SerialDecrypt(const uint8_t* in, uint8_t* out, size_t count) {
  const z_crc_t* crc = get_crc_table();
  uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
  auto update = [&](uint8_t c) {
    k0 = crc[(k0 ^ c) & 0xff] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xff)) * 134775813u + 1;
    k2 = crc[(k2 ^ (k1 >> 24)) & 0xff] ^ (k2 >> 8);
  };
  for (const char* p = kPackagePassword; *p; ++p) update(uint8_t(*p));
  for (size_t i = 0; i < count; ++i) {
    const uint32_t t = (k2 | 2) & 0xffff;
    out[i] = in[i] ^ uint8_t((t * (t ^ 1)) >> 8);
    update(out[i]);
  }
}

bool Inflate(const uint8_t* in, size_t size, Bytes& out) {
  z_stream stream{};
  inflateInit2(&stream, -MAX_WBITS);
  stream.next_in = const_cast<uint8_t*>(in);
  stream.avail_in = uInt(size);
  stream.next_out = out.data();
  stream.avail_out = uInt(out.size());
  const int result = inflate(&stream, Z_FINISH);
  inflateEnd(&stream);
  return result == Z_STREAM_END;
}

// 8-bit A, R, G, B rows, as the draw takes them into an 8-bit world.
class ArgbRows final : public Jpeg::RowSink {
 public:
  uint8_t* ArgbRow(int32_t row) override { return pixels_.data() + size_t(row) * kWidth * 4; }
  void PutRow(int32_t row, const uint8_t* pixels, int32_t components) override {
    if (components != 1) return;
    uint8_t* to = ArgbRow(row);
    for (int x = 0; x < kWidth; ++x) {
      to[4 * x] = 255;
      to[4 * x + 1] = to[4 * x + 2] = to[4 * x + 3] = pixels[x];
    }
  }
  const uint8_t* Data() const { return pixels_.data(); }

 private:
  Bytes pixels_ = Bytes(size_t(kWidth) * kHeight * 4);
};

struct Pieces {
  std::vector<double> whole, turbo, rows, read, cipher, inflate, frame;
  std::vector<double> wholeCpu, turboCpu, rowsCpu, readCpu, cipherCpu, inflateCpu, frameCpu;
};

struct Form {
  const char* label;
  lvs_maker::Method method;
  bool encrypted;
};
const Form kForms[] = {{"stored, plain", lvs_maker::Method::Store, false},
                       {"stored, encrypted", lvs_maker::Method::Store, true},
                       {"deflated, plain", lvs_maker::Method::Deflate, false},
                       {"deflated, encrypted", lvs_maker::Method::Deflate, true}};

}  // namespace

void FrameAlone(const Setup& setup) {
  const size_t previews = setup.previews.size();
  std::vector<Pieces> pieces(previews);
  std::vector<Bytes> raws;
  for (const Preview& pv : setup.previews) raws.push_back(RawEntry(pv.package));

  // The collage's packages in every form.
  const Preview& collage = setup.previews.back();
  std::vector<std::string> formPackages;
  for (const Form& f : kForms) {
    const std::string path =
        (std::filesystem::path(setup.work) / (std::string("form") + std::to_string(formPackages.size()) + ".lvs"))
            .string();
    std::vector<lvs_maker::Entry> entries = lvs_maker::StyleEntries("{\"name\":\"bench\"}", collage.jpeg);
    entries[1].method = f.method;
    entries[1].password = f.encrypted ? kPackagePassword : "";
    std::string error;
    if (!lvs_maker::WritePackage(path, entries, &error)) Fail("no package: " + error);
    formPackages.push_back(path);
  }
  std::vector<std::vector<double>> formDraw(std::size(kForms)), formTurbo(std::size(kForms)),
      formDrawCpu(std::size(kForms)), formTurboCpu(std::size(kForms));

  {
    lvs_host::SubstituteHost host;
    LoadModule(host, setup.module);
    host.Worlds().SetMarkFreshWorlds(false);
    PF_EffectWorld* world = host.Worlds().Create(PF_PixelFormat_ARGB32, kWidth, kHeight);
    std::vector<std::unique_ptr<Footage>> footage, formFootage;
    for (const Preview& pv : setup.previews) footage.push_back(std::make_unique<Footage>(host, pv.package));
    for (const std::string& p : formPackages) formFootage.push_back(std::make_unique<Footage>(host, p));
    TurboState turbo;
    Bytes decrypted, plain, file;
    auto time = [](std::vector<double>& wall, std::vector<double>& cpu, bool keep, auto&& work) {
      const double c0 = CpuMs();
      const Clock::time_point t0 = Clock::now();
      work();
      benchmark::ClobberMemory();
      const double ms = Ms(Clock::now() - t0), cpuMs = CpuMs() - c0;
      if (keep) wall.push_back(ms), cpu.push_back(cpuMs);
    };
    for (int r = -2; r < setup.rounds; ++r) {
      const bool keep = r >= 0;
      for (size_t p = 0; p < previews; ++p) {
        const Preview& pv = setup.previews[p];
        Pieces& t = pieces[p];
        const Bytes& raw = raws[p];
        decrypted.resize(raw.size());
        plain.resize(pv.jpeg.size());
        time(t.whole, t.wholeCpu, keep, [&] {
          const Jpeg::Decoder decoder(pv.jpeg.data(), pv.jpeg.size(), std::malloc, std::free);
          if (decoder.GetResult() != Jpeg::Decoder::Success) Fail(std::string("a decode failed: ") + pv.kind->label);
          benchmark::DoNotOptimize(decoder.GetImage());
        });
        time(t.turbo, t.turboCpu, keep, [&] {
          if (tjDecompress2(turbo.handle, pv.jpeg.data(), pv.jpeg.size(), turbo.pixels.data(), kWidth, 0, kHeight,
                            pv.grey ? TJPF_GRAY : TJPF_RGB, 0) != 0)
            Fail(std::string("a turbo decode failed: ") + pv.kind->label);
        });
        time(t.rows, t.rowsCpu, keep, [&] {
          ArgbRows rows;
          const Jpeg::Decoder decoder(pv.jpeg.data(), pv.jpeg.size(), std::malloc, std::free, kWidth, kHeight, rows);
          if (decoder.GetResult() != Jpeg::Decoder::Success) Fail(std::string("a decode failed: ") + pv.kind->label);
          benchmark::DoNotOptimize(rows.Data());
        });
        time(t.read, t.readCpu, keep, [&] {
          if (LVS_ReadFile(pv.package.c_str(), kPreviewEntryName, plain.data(), plain.size()) != 0)
            Fail(std::string("a read failed: ") + pv.kind->label);
        });
        time(t.cipher, t.cipherCpu, keep, [&] { SerialDecrypt(raw.data(), decrypted.data(), raw.size()); });
        time(t.inflate, t.inflateCpu, keep, [&] {
          if (!Inflate(decrypted.data() + 12, decrypted.size() - 12, plain) || plain != pv.jpeg)
            Fail(std::string("inflate failed: ") + pv.kind->label);
        });
        time(t.frame, t.frameCpu, keep, [&] {
          if (footage[p]->Draw(world) != A_Err_NONE) Fail("a draw failed");
        });
      }
      for (size_t f = 0; f < std::size(kForms); ++f) {
        time(formDraw[f], formDrawCpu[f], keep, [&] {
          if (formFootage[f]->Draw(world) != A_Err_NONE) Fail("a draw failed");
        });
        time(formTurbo[f], formTurboCpu[f], keep, [&] {
          if (!TurboFrame(turbo.handle, formPackages[f], file, turbo.pixels.data(), *world, PF_PixelFormat_ARGB32))
            Fail("a turbo frame failed");
        });
      }
    }
    footage.clear();
    formFootage.clear();
    host.Worlds().Release(world);
    CheckClean(host);
  }

  std::printf("\ndecoder alone, whole picture, median of %d interleaved rounds       target ours/turbo <= 1.2\n",
              setup.rounds);
  for (size_t p = 0; p < previews; ++p) {
    const Pieces& t = pieces[p];
    const double o = Median(t.whole), tu = Median(t.turbo);
    std::printf("  %-10s ours %8.3f ms   tjDecompress2 %8.3f ms   %6.3f  %-7s CPU ratio %6.3f\n", kPreviews[p].label, o,
                tu, o / tu, Judge(o / tu <= 1.2), Median(t.wholeCpu) / Median(t.turboCpu));
  }

  std::printf(
      "\nthe 8-bit frame against its pieces alone, medians of CPU time (wall clock in brackets)\n"
      "  decode: the decoder into 8-bit rows, from memory; read: LVS_ReadFile, the cipher, inflate and\n"
      "  the CRC one after the other; cipher, inflate: each alone on the entry's bytes. The frame does\n"
      "  both and writes the world; overlapped, it takes less than their sum\n");
  std::printf("  %-10s %16s %16s %16s %16s %16s %11s %s\n", "preview", "decode", "read", "of it cipher",
              "of it inflate", "frame", "frame/sum", "saved");
  for (size_t p = 0; p < previews; ++p) {
    const Pieces& t = pieces[p];
    const double rows = Median(t.rowsCpu), read = Median(t.readCpu), cipher = Median(t.cipherCpu),
                 inflate = Median(t.inflateCpu), frameMs = Median(t.frameCpu);
    auto cell = [](double cpu, double wall) {
      char text[32];
      std::snprintf(text, sizeof(text), "%6.3f (%6.3f)", cpu, wall);
      return std::string(text);
    };
    std::printf("  %-10s %16s %16s %16s %16s %16s %11.3f %.3f ms, %.0f%% of the cipher\n", kPreviews[p].label,
                cell(rows, Median(t.rows)).c_str(), cell(read, Median(t.read)).c_str(),
                cell(cipher, Median(t.cipher)).c_str(), cell(inflate, Median(t.inflate)).c_str(),
                cell(frameMs, Median(t.frame)).c_str(), frameMs / (rows + read), rows + read - frameMs,
                100.0 * (rows + read - frameMs) / cipher);
  }

  std::printf("\nthe collage's 8-bit frame by the form of its entry, against the turbo frame of the same package\n");
  for (size_t f = 0; f < std::size(kForms); ++f) {
    const double d = Median(formDrawCpu[f]), tu = Median(formTurboCpu[f]);
    std::printf("  %-20s draw %8.3f ms   turbo %8.3f ms   draw/turbo %6.3f   (wall clock %6.3f)\n", kForms[f].label, d,
                tu, d / tu, Median(formDraw[f]) / Median(formTurbo[f]));
  }
}

}  // namespace frame
