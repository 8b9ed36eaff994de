#include "TextOutput.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "Files.h"

namespace lvs {
namespace {

int gStdoutError = 0;  // the first failed write's errno

}  // namespace

void Emit(Stream stream, const std::string& text) {
  if (stream == Stream::Err) {
    // Nothing is left to tell of a failure here.
    WriteAll(kStandardError, text.data(), text.size());
    return;
  }
  if (gStdoutError != 0 || text.empty()) return;
  errno = 0;
  if (!WriteAll(kStandardOutput, text.data(), text.size())) gStdoutError = errno != 0 ? errno : EIO;
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length > 0 ? size_t(length) : 0, '\0');
  if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  return text;
}

int FinishStandardOutput(int exitCode) {
  // Whatever a library may have left in stdio's buffer goes out first.
  if (std::fflush(stdout) != 0 && gStdoutError == 0) gStdoutError = errno != 0 ? errno : EIO;
  // A standard output that was never open is a failure only if written to.
  if (!CloseDescriptor(kStandardOutput) && errno != EBADF && gStdoutError == 0) gStdoutError = errno;
  if (gStdoutError == 0) return exitCode;
  std::fprintf(stderr, "lvs: cannot write to standard output: %s\n", std::strerror(gStdoutError));
  return exitCode > kExitUsage ? exitCode : kExitUsage;
}

}  // namespace lvs
