// Why the decoder stops: on hand-made streams, each way to fail ends with its
// result code and its named cause, the value the cause gives, and the size
// read so far; nothing is left allocated.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "jpeg_test_util.h"

using namespace lvs_test;
using Jpeg::Decoder;

namespace {

// A progressive frame after it, so that what passes ends in UnsupportedFeature, not the end of input.
const std::vector<uint8_t> kStop = {0xFF, 0xC2};
std::vector<uint8_t> FrameThenStop(int width, int height, const std::vector<FrameComponent>& frame) {
  return JpegWriter().Soi().Sof(width, height, frame).Bytes(kStop).data;
}
std::vector<uint8_t> WithSegment(uint8_t code, std::vector<uint8_t> payload, int length = -1) {
  return JpegWriter().Soi().Segment(code, payload, length).Bytes(kStop).data;
}
// One Huffman table of count codes of one length.
std::vector<uint8_t> HuffmanPayload(uint8_t classAndId, int length, int count) {
  std::vector<uint8_t> p(17 + size_t(count), 0);
  p[0] = classAndId;
  p[size_t(length)] = uint8_t(count);
  return p;
}
// Bytes left over after a table that read as a segment of their own (a
// comment), should the parser go on from them.
std::vector<uint8_t> HuffmanThenComment() {
  std::vector<uint8_t> p = HuffmanPayload(0x00, 2, 2);
  p.insert(p.end(), {0xFF, 0xFE, 0x00, 0x02});
  return p;
}
std::vector<uint8_t> Dht(uint8_t classAndId, int length, int count) {
  return WithSegment(0xC4, HuffmanPayload(classAndId, length, count));
}
std::vector<uint8_t> ScanAfter420(std::vector<uint8_t> sos) {
  return JpegWriter().Soi().Sof(16, 16, k420).Segment(0xDA, sos).data;
}

// Hand-made entropy-coded data: blocks of level 0, then the bits given,
// then `zeros` zero bytes that keep the data from ending near them.
std::vector<uint8_t> Blocks(int flat, uint32_t bits = 0, int count = 0, int zeros = 4) {
  BitWriter b;
  int previous = 0;
  b.PutFlat(std::vector<int>(size_t(flat), 0), previous);
  b.Put(bits, count);
  for (int i = 0; i < zeros; ++i) b.Put(0, 8);
  b.Finish();
  return b.data;
}
std::vector<uint8_t> Grey(int mcus, const std::vector<uint8_t>& entropy, uint8_t acSymbol = 0x00,
                          int restartInterval = 0) {
  HandMade m{8 * mcus, 8, restartInterval};
  m.acSymbol = acSymbol;
  return m.Build(entropy);
}
std::vector<uint8_t> Plus(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr int32_t kAnyValue = INT32_MIN;  // where the value depends on how far the reader looked ahead

struct CauseCase {
  const char* name;
  std::vector<uint8_t> bytes;
  Decoder::ResultCode expected;
  int width, height;
  Decoder::Cause cause = Decoder::Cause::None;
  int32_t value = 0;
};

class CauseTest : public ::testing::TestWithParam<CauseCase> {};

TEST_P(CauseTest, StopsWithItsCodeAndCauseAndReleasesEverything) {
  const CauseCase& c = GetParam();
  const auto check = [&](const Decoder& d, const char* how) {
    const int32_t value = c.value == kAnyValue ? kAnyValue : d.GetCauseValue();
    EXPECT_EQ(std::make_tuple(d.GetResult(), d.GetCause(), value, d.GetWidth(), d.GetHeight()),
              std::make_tuple(c.expected, c.cause, c.value, c.width, c.height))
        << how;
  };
  check(*Decode(c.bytes), "whole");
  EXPECT_EQ(MemoryLog::live, 0);
  // The same when the file comes in windows of just what the decoder asks
  // for, or of a few bytes more.
  for (size_t extra : {0, 1, 7}) {
    WindowSource source(c.bytes, extra);
    NoRows rows;
    check(*DecodeInWindows(source, rows), ("in windows of " + std::to_string(extra) + " more").c_str());
    EXPECT_EQ(MemoryLog::live, 0);
  }
}

std::vector<CauseCase> HeaderCases() {
  using D = Decoder;
  using C = Decoder::Cause;
  const std::vector<uint8_t> flat = FlatStream(8, 8, kGrey, 1);
  std::vector<uint8_t> symbolsCut = HuffmanPayload(0x00, 2, 2);
  symbolsCut.pop_back();
  return {
      {"NotJpeg", {0x89, 0x50, 0x4E, 0x47}, D::NoStartOfImage, 0, 0, C::NoStartOfImage, 0x8950},
      {"OneByte", {0xFF}, D::NoStartOfImage, 0, 0, C::NoStartOfImage, -1},
      {"StartIsEndOfImage", {0xFF, 0xD9}, D::NoStartOfImage, 0, 0, C::NoStartOfImage, 0xFFD9},
      {"OnlyStart", {0xFF, 0xD8}, D::MalformedData, 0, 0, C::EndBeforeScan, 2},
      {"Progressive", {0xFF, 0xD8, 0xFF, 0xC2, 0x00, 0x0B}, D::UnsupportedFeature, 0, 0, C::Marker, 0xC2},
      {"NoMarkerPrefix", JpegWriter().Soi().Bytes({0x00, 0xC2}).data, D::MalformedData, 0, 0, C::MarkerExpected, 2},
      // Each skipped segment is told apart from its absence by what follows
      // it: the end of the input (MalformedData) or kStop (UnsupportedFeature).
      {"CommentSkipped", JpegWriter().Soi().Segment(0xFE, {1, 2, 3}).data, D::MalformedData, 0, 0, C::EndBeforeScan, 9},
      {"LastApplicationSegmentSkipped", JpegWriter().Soi().Segment(0xEF, {1}).data, D::MalformedData, 0, 0,
       C::EndBeforeScan, 7},
      {"ApplicationPastEnd", WithSegment(0xE1, {1, 2, 3}, 400), D::MalformedData, 0, 0, C::SegmentPastEnd, 0xE1},
      {"LengthCutOff", JpegWriter().Soi().Bytes({0xFF, 0xC4, 0x00}).data, D::MalformedData, 0, 0, C::SegmentPastEnd,
       0xC4},
      {"LengthOne", JpegWriter().Soi().Bytes({0xFF, 0xFE, 0x00, 0x01, 0xFF, 0xC2}).data, D::MalformedData, 0, 0,
       C::SegmentLengthTooSmall, 0xFE},
      // The frame header.
      {"TwelveBit", FrameOnly(8, 8, kGrey, 12), D::UnsupportedFeature, 0, 0, C::Precision, 12},
      {"FrameBelowNineBytes", WithSegment(0xC0, {8, 0, 8, 0, 8, 0}), D::MalformedData, 0, 0, C::SegmentTooShort, 0xC0},
      {"TwoComponents", FrameOnly(8, 6, {{1, 1, 1, 0}, {2, 1, 1, 0}}), D::UnsupportedFeature, 8, 6, C::ComponentCount,
       2},
      {"FrameMissingComponents", WithSegment(0xC0, {8, 0, 8, 0, 8, 3, 1, 0x11, 0, 2}), D::MalformedData, 8, 8,
       C::SegmentTooShort, 0xC0},
      {"SamplingXZero", FrameThenStop(8, 8, {{1, 0, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}), D::MalformedData, 8, 8,
       C::SamplingFactorZero, 1},
      {"SamplingYZero", FrameThenStop(8, 8, {{1, 1, 1, 0}, {7, 1, 0, 0}, {3, 1, 1, 0}}), D::MalformedData, 8, 8,
       C::SamplingFactorZero, 7},
      {"SamplingThree", FrameOnly(24, 24, {{1, 2, 1, 0}, {2, 3, 1, 0}, {3, 1, 1, 0}}), D::UnsupportedFeature, 24, 24,
       C::SamplingFactor, 3},
      {"QuantTableFour", FrameThenStop(8, 8, {{1, 1, 1, 4}}), D::MalformedData, 8, 8, C::FrameQuantTable, 4},
      {"WidthZero", FrameThenStop(0, 8, kGrey), D::MalformedData, 0, 8, C::WidthZero},
      {"HeightZero", FrameOnly(8, 0, kGrey), D::UnsupportedFeature, 8, 0, C::HeightLater},
      {"SampledTwoWide", FrameOnly(4, 16, k420), D::UnsupportedFeature, 4, 16, C::SubsampledTooThin},
      {"SampledThreeHigh", FrameOnly(16, 5, k420), D::MalformedData, 16, 5, C::EndBeforeScan, 21},
      {"SecondFrameReplacesFirst", JpegWriter().Soi().Sof(640, 480, k420).Bytes({flat.begin() + 2, flat.end()}).data,
       D::Success, 8, 8},
      // Tables and the restart interval.
      {"SixteenBitQuant", WithSegment(0xDB, std::vector<uint8_t>(129, 0x10)), D::MalformedData, 0, 0, C::QuantTableSpec,
       0x10},
      {"QuantBytesLeftOver", WithSegment(0xDB, std::vector<uint8_t>(66, 0)), D::MalformedData, 0, 0, C::SegmentLeftOver,
       0xDB},
      {"HuffmanIdTwo", Dht(0x02, 2, 2), D::UnsupportedFeature, 0, 0, C::HuffmanTableId, 2},
      {"HuffmanIdFour", Dht(0x04, 2, 2), D::MalformedData, 0, 0, C::HuffmanTableSpec, 0x04},
      {"HuffmanClassTwo", Dht(0x20, 2, 2), D::MalformedData, 0, 0, C::HuffmanTableSpec, 0x20},
      {"HuffmanOverfull", Dht(0x00, 2, 5), D::MalformedData, 0, 0, C::HuffmanOverfull, 2},
      {"HuffmanExactlyFull", Dht(0x00, 2, 4), D::UnsupportedFeature, 0, 0, C::Marker, 0xC2},
      {"HuffmanSymbolsCut", WithSegment(0xC4, symbolsCut), D::MalformedData, 0, 0, C::SegmentTooShort, 0xC4},
      {"HuffmanBytesLeftOver", WithSegment(0xC4, HuffmanThenComment()), D::MalformedData, 0, 0, C::SegmentLeftOver,
       0xC4},
      {"RestartWithoutInterval", WithSegment(0xDD, {}), D::MalformedData, 0, 0, C::SegmentTooShort, 0xDD},
      // The scan header.
      {"ScanBeforeFrame", JpegWriter().Soi().Segment(0xDA, {1, 1, 0x00, 0, 63, 0}).data, D::UnsupportedFeature, 0, 0,
       C::ScanBeforeFrame, 1},
      {"ScanOneByteShort",
       JpegWriter().Soi().Sof(16, 16, k420).Segment(0xDA, {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63}).Bytes(kStop).data,
       D::MalformedData, 16, 16, C::SegmentTooShort, 0xDA},
      {"ScanOfOneComponent", ScanAfter420({1, 1, 0x00, 0, 63, 0, 0, 0, 0, 0}), D::UnsupportedFeature, 16, 16,
       C::ScanComponents, 1},
      {"ScanOutOfOrder", ScanAfter420({3, 2, 0x11, 1, 0x00, 3, 0x11, 0, 63, 0}), D::MalformedData, 16, 16,
       C::ScanComponentOrder, 2},
      {"ScanTableTwo", ScanAfter420({3, 1, 0x02, 2, 0x11, 3, 0x11, 0, 63, 0}), D::MalformedData, 16, 16,
       C::ScanTableNumber, 0x02},
      {"SpectralEndNot63", ScanAfter420({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 62, 0}), D::UnsupportedFeature, 16, 16,
       C::NotSequential},
      {"SuccessiveApproximation", ScanAfter420({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 1}), D::UnsupportedFeature, 16, 16,
       C::NotSequential},
      {"NoTablesAtAll", JpegWriter().Soi().Sof(8, 8, kGrey).Sos(kGrey).data, D::MalformedData, 8, 8,
       C::HuffmanTableMissing, 0x00},
      {"NoAcTable", JpegWriter().Soi().Segment(0xC4, HuffmanPayload(0x00, 2, 2)).Sof(8, 8, kGrey).Sos(kGrey).data,
       D::MalformedData, 8, 8, C::HuffmanTableMissing, 0x10},
  };
}

INSTANTIATE_TEST_SUITE_P(Headers, CauseTest, ::testing::ValuesIn(HeaderCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// One-block grey MCUs of level 0 (a 4-bit DC size code, an 8-bit end of
// block); the DC table has no code 1100, the AC table no code but 00000000.
std::vector<CauseCase> ScanDataCases() {
  using D = Decoder;
  using C = Decoder::Cause;
  return {
      {"Whole", Grey(4, Blocks(4)), D::Success, 32, 8},
      {"NoSuchCode", Grey(4, Blocks(3, 0xC, 4)), D::MalformedData, 32, 8, C::HuffmanCodeMissing, 3},
      {"CutAtAnMcu", Grey(4, Blocks(2, 0, 0, 0)), D::MalformedData, 32, 8, C::ScanDataEnds, 2},
      {"EndOfImageEarly", Plus(Grey(4, Blocks(2, 0, 0, 0)), {0xFF, 0xD9}), D::MalformedData, 32, 8, C::ScanDataEnds, 2},
      // What follows the end of the image is not read, however it arrives.
      {"EndOfImageEarlyThenBlocks", Plus(Plus(Grey(4, Blocks(2, 0, 0, 0)), {0xFF, 0xD9}), Blocks(64)), D::MalformedData,
       32, 8, C::ScanDataEnds, 2},
      {"LoneFillByteAtTheEnd", Plus(Grey(4, Blocks(2, 0, 0, 0)), {0xFF}), D::MalformedData, 32, 8, C::ScanDataEnds,
       kAnyValue},
      {"CutWhereARestartIsDue", Grey(8, Blocks(4, 0, 0, 0), 0x00, 4), D::MalformedData, 64, 8, C::ScanDataEnds, 4},
      {"TableMarkerInTheData", Plus(Grey(2, {0x00, 0x00}), {0xFF, 0xC4, 0x00, 0x00}), D::MalformedData, 16, 8,
       C::MarkerInScan, 0xC4},
      // The AC table's one symbol: a run of one with no size; sixteen zeros four times over.
      {"SymbolOfNoCoefficient", Grey(1, Blocks(1), 0x10), D::MalformedData, 8, 8, C::AcSymbolInvalid, 0},
      {"SixtyFourZerosAndMore", Grey(1, Blocks(1, 0, 32), 0xF0), D::MalformedData, 8, 8, C::TooManyCoefficients, 0},
  };
}

INSTANTIATE_TEST_SUITE_P(ScanData, CauseTest, ::testing::ValuesIn(ScanDataCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A refused request is named with the size it asked for, whichever it is.
TEST(JpegCauses, OutOfMemoryGivesTheSizeRefused) {
  const std::vector<uint8_t> bytes = FlatStream(16, 16, k420, 6);
  for (int failAt = 0; failAt < 6; ++failAt) {
    auto d = Decode(bytes, failAt);
    EXPECT_EQ(std::make_tuple(d->GetResult(), d->GetCause(), uint64_t(d->GetCauseValue())),
              std::make_tuple(Decoder::AllocationFailed, Decoder::Cause::OutOfMemory, MemoryLog::lastSize))
        << failAt;
  }
}

}  // namespace
