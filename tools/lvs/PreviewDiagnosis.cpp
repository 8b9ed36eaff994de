#include "PreviewDiagnosis.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ExifOrientation.h"
#include "FixHints.h"
#include "StyleFormat.h"
#include "jpeg_decoder.h"

namespace lvs {
namespace {

// The marker the decoder stopped at, as an author knows it.
std::string MarkerPhrase(int code) {
  switch (code) {
    case 0xC1:
      return "uses extended sequential coding (not baseline)";
    case 0xC2:
      return "is a progressive JPEG";
    case 0xC3:
      return "is a lossless JPEG";
    case 0xC5:
    case 0xC6:
    case 0xC7:
      return "is a hierarchical JPEG";
    case 0xC9:
    case 0xCC:
      return "uses arithmetic coding";
    case 0xCA:
      return "is a progressive JPEG with arithmetic coding";
    case 0xCB:
      return "is a lossless JPEG with arithmetic coding";
    case 0xCD:
    case 0xCE:
    case 0xCF:
      return "is a hierarchical JPEG with arithmetic coding";
    case 0xFF:
      return "has fill bytes between its markers, which the decoder does not accept";
    case 0xD8:
      return "holds a second start-of-image marker";
    case 0xD9:
      return "ends before its picture data";
    case 0xDC:
      return "defines its height after the picture data (DNL)";
    default:
      break;
  }
  if (code >= 0xD0 && code <= 0xD7) return "has a restart marker outside its picture data";
  char text[64];
  std::snprintf(text, sizeof text, "holds a marker the decoder does not take (0xFF%02X)", code);
  return text;
}

}  // namespace

// Words for the cause the decoder itself reports, so the reason given can
// never differ from what the plug-in did.
std::string CausePhrase(const Jpeg::Decoder& decoder) {
  using C = Jpeg::Decoder::Cause;
  const int32_t number = decoder.GetCauseValue();
  const std::string value = std::to_string(number);
  const std::string mcus = " (after " + value + " whole MCUs)";
  auto hex = [](int code) {
    char text[8];
    std::snprintf(text, sizeof text, "0xFF%02X", code & 0xFF);
    return std::string(text);
  };
  auto segment = [&hex](int code) -> std::string {
    switch (code) {
      case 0xC0:
        return "frame header (SOF0)";
      case 0xC4:
        return "Huffman table segment (DHT)";
      case 0xDA:
        return "scan header (SOS)";
      case 0xDB:
        return "quantisation table segment (DQT)";
      case 0xDD:
        return "restart interval segment (DRI)";
      case 0xFE:
        return "comment (COM)";
      default:
        return code >= 0xE0 && code <= 0xEF ? "application segment (APP" + std::to_string(code - 0xE0) + ")"
                                            : "segment " + hex(code);
    }
  };
  switch (decoder.GetCause()) {
    case C::NoStartOfImage:
      return "does not start with a JPEG start-of-image marker";
    case C::Marker:
      return MarkerPhrase(number);
    case C::Precision:
      return "uses " + value + "-bit samples (only 8-bit JPEG is supported)";
    case C::ComponentCount:
      return number == 4 ? "has four colour components (CMYK or YCCK); save it as RGB"
                         : "has " + value + " colour components; only grey or RGB is supported";
    case C::SamplingFactor:
      return "uses a sampling factor of " + value + " (only 1, 2, 4 and 8 are supported)";
    case C::HeightLater:
      return "leaves its height to be defined after the picture data (DNL)";
    case C::TooManyPixels:
      return "is " + std::to_string(decoder.GetWidth()) + " by " + std::to_string(decoder.GetHeight()) +
             ", more pixels than the decoder accepts from a file of its size";
    case C::SubsampledTooThin:
      return "is too small for its chroma subsampling (a subsampled plane under 3 samples)";
    case C::HuffmanTableId:
      return "uses Huffman table number " + value + " (only 0 and 1 are supported)";
    case C::ScanComponents:
      return "stores its colour components in separate scans (not one interleaved scan)";
    case C::NotSequential:
      return "has a scan that is not baseline sequential (progressive spectral selection)";
    case C::OtherFrameSize:
      return "is " + std::to_string(decoder.GetWidth()) + " by " + std::to_string(decoder.GetHeight()) + ", not " +
             std::to_string(kStyleWidth) + " by " + std::to_string(kStyleHeight);
    case C::ScanBeforeFrame:
      return "has its picture data before any frame header";
    case C::OutOfMemory:
      return "needs more memory than could be had (" + value + " bytes at once)";
    case C::EndBeforeScan:
      return "ends before its picture data (at byte " + value + ")";
    case C::MarkerExpected:
      return "has stray bytes where a marker should start (at byte " + value + ")";
    case C::SegmentPastEnd:
      return "has a " + segment(number) + " whose length runs past the end of the file";
    case C::SegmentLengthTooSmall:
      return "has a " + segment(number) + " whose length is below 2";
    case C::SegmentTooShort:
      return "has a " + segment(number) + " shorter than the fields it declares";
    case C::SegmentLeftOver:
      return "has bytes left over after the last table of a " + segment(number);
    case C::SamplingFactorZero:
      return "gives colour component " + value + " a sampling factor of 0";
    case C::FrameQuantTable:
      return "names quantisation table " + value + " for a component (only 0 to 3 exist)";
    case C::WidthZero:
      return "has a width of 0";
    case C::HuffmanTableSpec:
      return "defines a Huffman table of class " + std::to_string(number >> 4) + ", number " +
             std::to_string(number & 15) + " (only classes 0 and 1 and numbers 0 to 3 exist)";
    case C::HuffmanOverfull:
      return "has a Huffman table with more codes than fit in " + value + " bits";
    case C::QuantTableSpec:
      return number >> 4 ? "has a quantisation table of 16-bit entries"
                         : "defines quantisation table " + std::to_string(number & 15) + " (only 0 to 3 exist)";
    case C::ScanComponentOrder:
      return "has a scan whose components are not the frame's, in the frame's order (it names component " + value + ")";
    case C::ScanTableNumber:
      return "has a scan that names Huffman tables above 1";
    case C::HuffmanTableMissing:
      return std::string("has a scan that uses a Huffman table it never defines (") + (number >> 4 ? "AC" : "DC") +
             " table " + std::to_string(number & 15) + ")";
    case C::HuffmanCodeMissing:
      return "has a Huffman code in its scan that is not in its table" + mcus;
    case C::AcSymbolInvalid:
      return "has a Huffman table symbol in its scan that codes no coefficient" + mcus;
    case C::TooManyCoefficients:
      return "has a block in its scan with more than 64 coefficients" + mcus;
    case C::ScanDataEnds:
      return "ends before its scan does" + mcus;
    case C::MarkerInScan:
      return "has a marker (" + hex(number) + ") inside its scan's data";
    case C::RestartMissing:
      return "lacks a restart marker where its restart interval puts one (RST" + std::to_string(number & 7) + ")";
    case C::RestartOutOfOrder:
      return "has restart marker RST" + std::to_string(number & 7) + " out of sequence";
    case C::None:
      break;
  }
  return "uses a JPEG feature that the plug-in's decoder does not support";
}

namespace {

// Takes the decoder's rows as the draw takes them into an 8-bit world
// (colour rows straight as A, R, G, B, grey rows spread over the three
// colours, all opaque) and holds each against the drawn frame's row.
class RowsAgainstFrame final : public Jpeg::RowSink {
 public:
  explicit RowsAgainstFrame(const DrawnFrame* drawn) : drawn_(drawn), argb_(4 * size_t(kStyleWidth)) {}

  uint8_t* ArgbRow(int32_t) override { return argb_.data(); }

  void PutRow(int32_t row, const uint8_t* pixels, int32_t components) override {
    if (components != 4) {
      for (size_t x = 0; x < size_t(kStyleWidth); ++x) {
        argb_[4 * x] = 255;
        for (size_t c = 0; c < 3; ++c)
          argb_[4 * x + 1 + c] = pixels[x * size_t(components) + (components == 3 ? c : 0)];
      }
    }
    if (drawn_ && same_)
      same_ = std::memcmp(argb_.data(), drawn_->data + std::ptrdiff_t(row) * drawn_->rowBytes, argb_.size()) == 0;
  }

  bool Same() const { return drawn_ && same_; }

 private:
  const DrawnFrame* drawn_;
  std::vector<uint8_t> argb_;
  bool same_ = true;
};

std::string SizeOf(const Jpeg::Decoder& decoder) {
  return std::to_string(decoder.GetWidth()) + " by " + std::to_string(decoder.GetHeight());
}

const std::string kStyleSize = std::to_string(kStyleWidth) + " by " + std::to_string(kStyleHeight);

// Whether jpegtran, which rewrites the coefficients as they are into one
// interleaved baseline scan, mends what stopped the decoder: progressive or
// arithmetic coding, or components in scans of their own.
bool LosslesslyBaseline(const Jpeg::Decoder& decoder) {
  using C = Jpeg::Decoder::Cause;
  switch (decoder.GetCause()) {
    case C::Marker: {
      const int marker = decoder.GetCauseValue();
      return marker == 0xC2 || marker == 0xC9 || marker == 0xCA;
    }
    case C::NotSequential:
    case C::ScanComponents:
      return true;
    default:
      return false;
  }
}

// The decoder's answer as a problem, none for a picture of the footage size.
std::vector<Problem> Refusal(const Jpeg::Decoder& decoder, const std::vector<uint8_t>& bytes) {
  using C = Jpeg::Decoder::Cause;
  const auto one = [](Code code, std::string message) { return std::vector<Problem>{{code, std::move(message)}}; };
  const std::string remake = RemakePreviewHint() + ".";
  const std::string heightLater = "The preview " + CausePhrase(decoder) +
                                  "; the plug-in shows only previews whose frame header gives their size, " +
                                  kStyleSize + ".";
  switch (decoder.GetResult()) {
    case Jpeg::Decoder::Success:
      // Only a scan with no frame header at all decodes to anything but
      // the size asked for: to nothing.
      if (decoder.GetWidth() == kStyleWidth && decoder.GetHeight() == kStyleHeight) return {};
      return one(Code::PrvNoFrame, "The preview holds no picture: its scan comes before any frame header.");
    case Jpeg::Decoder::NoStartOfImage:
      if (bytes.size() >= 4 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G')
        return one(Code::PrvPng, "The preview is a PNG picture; it must be a baseline JPEG. " + remake);
      return one(Code::PrvNotJpeg, "The preview is not a JPEG file (it " + CausePhrase(decoder) +
                                       "); it must be a baseline JPEG. " + remake);
    case Jpeg::Decoder::UnsupportedFeature:
      switch (decoder.GetCause()) {
        case C::OtherFrameSize:
          return one(Code::PrvWrongSize, "The preview is " + SizeOf(decoder) + ", not " + kStyleSize + ". " + remake);
        case C::TooManyPixels:
          return one(Code::PrvWrongSize,
                     "The preview " + CausePhrase(decoder) + "; it must be " + kStyleSize + ". " + remake);
        case C::HeightLater:
          return one(Code::PrvHeightLater, heightLater);
        case C::ScanBeforeFrame:
          return one(Code::PrvNoFrame, "The preview " + CausePhrase(decoder) + ", so it holds no picture.");
        case C::Marker:
          // DNL: a marker that gives the height after the picture data.
          if (decoder.GetCauseValue() == 0xDC) return one(Code::PrvHeightLater, heightLater);
          break;
        default:
          break;
      }
      return one(Code::PrvUnsupportedJpeg, "The preview " + CausePhrase(decoder) +
                                               "; the plug-in shows only baseline JPEG previews with 8-bit samples, "
                                               "in grey or colour. " +
                                               (LosslesslyBaseline(decoder) ? LosslessBaselineHint() + "." : remake));
    case Jpeg::Decoder::AllocationFailed:
      return one(Code::PrvOutOfMemory, "The preview could not be decoded: it " + CausePhrase(decoder) + ".");
    case Jpeg::Decoder::MalformedData:
    case Jpeg::Decoder::ScanComplete:
      break;
  }
  return one(Code::PrvDamagedJpeg, "The preview is a damaged JPEG file: it " + CausePhrase(decoder) + ".");
}

}  // namespace

PreviewLook LookAtPreviewBytes(const std::vector<uint8_t>& bytes, const DrawnFrame* drawn) {
  RowsAgainstFrame rows(drawn);
  // As the draw decodes it: a frame of another size is known from its
  // header and never decoded, however large it claims to be.
  const Jpeg::Decoder decoder(
      bytes.data(), bytes.size(), [](uint64_t n) { return std::malloc(size_t(n)); }, std::free, kStyleWidth,
      kStyleHeight, rows);
  PreviewLook look;
  look.problems = Refusal(decoder, bytes);
  look.matchesDrawn = look.problems.empty() && rows.Same();
  const std::optional<int> orientation = ExifOrientation(bytes.data(), bytes.size());
  if (look.problems.empty() && orientation && *orientation != 1)
    look.warnings.push_back({Code::PrvExifOrientation, OrientationAdvice(*orientation)});
  return look;
}

}  // namespace lvs
