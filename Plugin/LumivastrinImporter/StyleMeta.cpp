#include "StyleMeta.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

// The low 32 bits reinterpreted as signed, without relying on a narrowing
// conversion of an out-of-range value.
int32_t FromLow32(uint32_t bits) {
  int32_t out;
  std::memcpy(&out, &bits, sizeof(out));
  return out;
}

// Follows the parser's events, keeping only the four keys of the top-level
// object and its own depth: nothing else of the text is built in memory.
class MetaReader final : public nlohmann::json_sax<Json> {
 public:
  explicit MetaReader(StyleMeta* meta) : meta_(meta) {}

  bool TooDeep() const { return tooDeep_; }

  bool null() override {
    Scalar(JsonType::Null);
    return true;
  }
  bool boolean(bool value) override {
    if (Scalar(JsonType::Boolean) && current_ == kMetaVersion) version_ = value ? 1 : 0;
    return true;
  }
  bool number_integer(number_integer_t value) override {
    if (Scalar(JsonType::Number) && current_ == kMetaVersion) {
      version_ = VersionFromInteger(value);
      Written(std::to_string(value), value == version_);
    }
    return true;
  }
  bool number_unsigned(number_unsigned_t value) override {
    if (Scalar(JsonType::Number) && current_ == kMetaVersion) {
      version_ = VersionFromUnsigned(value);
      Written(std::to_string(value), version_ >= 0 && value == static_cast<uint64_t>(version_));
    }
    return true;
  }
  bool number_float(number_float_t value, const string_t& written) override {
    if (Scalar(JsonType::Number) && current_ == kMetaVersion) {
      version_ = VersionFromDouble(value);
      Written(written, value == static_cast<double>(version_));
    }
    return true;
  }
  bool string(string_t& value) override {
    if (Scalar(JsonType::String) && current_ != kNoKey) {
      const std::size_t nul = value.find('\0');
      texts_[current_].assign(value, 0, nul);
      meta_->writtenLength[current_] = value.size();
      meta_->writtenNul[current_] = nul != std::string::npos;
    }
    return true;
  }
  bool binary(binary_t&) override { return true; }  // JSON text has none

  bool start_object(std::size_t) override { return Open(JsonType::Object); }
  bool start_array(std::size_t) override { return Open(JsonType::Array); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool key(string_t& name) override {
    current_ = kNoKey;
    if (depth_ != 1) return true;
    for (int k = 0; k < kMetaKeyCount; ++k)
      if (name == kMetaKeyNames[k]) current_ = k;
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    meta_->detail = e.what();
    return false;
  }

  // The value read, once the whole text has parsed.
  void Finish() {
    StyleMeta& m = *meta_;
    if (m.found != JsonType::Object) {
      m.problem = MetaProblem::NotAnObject;
      return;
    }
    bool usable = true;
    for (int k = 0; k < kMetaKeyCount; ++k) {
      const JsonType want = k == kMetaVersion ? JsonType::Number : JsonType::String;
      m.keyRefused[k] = m.keys[k] != want && !(k == kMetaVersion && m.keys[k] == JsonType::Boolean);
      if (m.keyRefused[k]) usable = false;
    }
    if (m.keys[kMetaVersion] == JsonType::String) m.versionText = texts_[kMetaVersion];
    if (!usable) {
      m.problem = MetaProblem::BadKeys;
      return;
    }
    m.ok = true;
    m.name = std::move(texts_[kMetaName]);
    m.author = std::move(texts_[kMetaAuthor]);
    m.hash = std::move(texts_[kMetaHash]);
    m.version = version_;
  }

 private:
  static constexpr int kNoKey = -1;

  // A value at the top level is the text's value; one directly inside the
  // top-level object belongs to the key before it.
  bool Scalar(JsonType type) {
    if (depth_ == 0) meta_->found = type;
    if (depth_ != 1 || current_ == kNoKey) return false;
    meta_->keys[current_] = type;
    return true;
  }
  bool Open(JsonType type) {
    Scalar(type);
    if (depth_ == 1) current_ = kNoKey;  // a container value ends the key's say
    if (++depth_ > kMetaDepthLimit) {
      tooDeep_ = true;
      return false;
    }
    return true;
  }
  void Written(std::string text, bool kept) {
    meta_->versionWritten = std::move(text);
    meta_->versionKept = kept;
  }
  bool Close() {
    --depth_;
    current_ = kNoKey;
    return true;
  }

  StyleMeta* meta_;
  int depth_ = 0;
  int current_ = kNoKey;
  bool tooDeep_ = false;
  std::string texts_[kMetaKeyCount];
  int32_t version_ = 0;
};

}  // namespace

const char* const kMetaKeyNames[kMetaKeyCount] = {"name", "author", "hash", "version"};

int32_t VersionFromUnsigned(uint64_t value) noexcept { return FromLow32(static_cast<uint32_t>(value)); }

int32_t VersionFromInteger(int64_t value) noexcept { return VersionFromUnsigned(static_cast<uint64_t>(value)); }

int32_t VersionFromDouble(double value) noexcept {
  if (!std::isfinite(value)) return 0;  // JSON cannot spell these; keep the function total
  constexpr double kTwoTo32 = 4294967296.0;
  // Both steps are exact for doubles: the remainder lies in (-2^32, 2^32),
  // so it converts to an integer without loss.
  double low = std::fmod(std::trunc(value), kTwoTo32);
  if (low < 0) low += kTwoTo32;
  return FromLow32(static_cast<uint32_t>(low));
}

StyleMeta ParseStyleMeta(const void* bytes, std::size_t length) noexcept {
  StyleMeta meta;
  if (!bytes) {
    meta.problem = MetaProblem::NotJson;
    return meta;
  }
  if (length > kMetaSizeLimit) {
    meta.problem = MetaProblem::TooLarge;
    return meta;
  }
  try {
    const char* text = static_cast<const char*>(bytes);
    const void* nul = std::memchr(text, '\0', length);
    const char* end = nul ? static_cast<const char*>(nul) : text + length;
    MetaReader reader(&meta);
    if (Json::sax_parse(text, end, &reader, nlohmann::json::input_format_t::json, /*strict=*/true,
                        /*ignore_comments=*/false)) {
      reader.Finish();
    } else {
      meta.problem = reader.TooDeep() ? MetaProblem::TooDeep : MetaProblem::NotJson;
    }
  } catch (const std::bad_alloc&) {
    meta = StyleMeta{};
    meta.problem = MetaProblem::OutOfMemory;
  } catch (...) {
    meta = StyleMeta{};
    meta.problem = MetaProblem::NotJson;
  }
  return meta;
}
