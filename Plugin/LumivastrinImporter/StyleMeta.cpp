#include "StyleMeta.h"

#include <cmath>
#include <cstring>
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

// A string value as the record keeps it: up to an escaped NUL, if any.
bool TakeString(const Json& object, const char* key, std::string* out) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return false;
  const std::string& text = it->get_ref<const std::string&>();
  *out = text.substr(0, text.find('\0'));
  return true;
}

bool TakeVersion(const Json& object, int32_t* out) {
  const auto it = object.find("version");
  if (it == object.end()) return false;
  switch (it->type()) {
    case Json::value_t::boolean:
      *out = it->get<bool>() ? 1 : 0;
      return true;
    case Json::value_t::number_integer:
      *out = VersionFromInteger(it->get<int64_t>());
      return true;
    case Json::value_t::number_unsigned:
      *out = VersionFromUnsigned(it->get<uint64_t>());
      return true;
    case Json::value_t::number_float:
      *out = VersionFromDouble(it->get<double>());
      return true;
    default:
      return false;
  }
}

}  // namespace

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
  if (!bytes) return meta;
  try {
    const char* text = static_cast<const char*>(bytes);
    const void* nul = std::memchr(text, '\0', length);
    const char* end = nul ? static_cast<const char*>(nul) : text + length;

    const Json value = Json::parse(text, end, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
    if (!value.is_object()) return meta;  // also the parser's "discarded" on a syntax error

    StyleMeta parsed;
    if (!TakeString(value, "name", &parsed.name) || !TakeString(value, "author", &parsed.author) ||
        !TakeString(value, "hash", &parsed.hash) || !TakeVersion(value, &parsed.version))
      return meta;
    parsed.ok = true;
    return parsed;
  } catch (...) {
    // Out of memory while parsing: the text cannot be used.
    return StyleMeta{};
  }
}
