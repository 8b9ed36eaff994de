// The text lvs prints (reports, JSON lines, help, the codes), written so
// that neither a signal nor a full disk goes unnoticed or tears a line.
// Each piece handed over (a package's report, a JSON line) is written at
// once, with one call where the system takes it whole: whole into a file,
// and into a pipe when it is no longer than the pipe's atomic write.
// A failure to write standard output is remembered, what follows it is not
// written, and the run ends with exit code 2 and a message.
#pragma once

#include <string>

namespace lvs {

enum class Stream { Out, Err };

void Emit(Stream stream, const std::string& text);
inline void Emit(const std::string& text) { Emit(Stream::Out, text); }

// printf's formatting into a string.
std::string Format(const char* format, ...) __attribute__((format(LVS_PRINTF_FORMAT, 1, 2)));

// The end of every run: standard output is closed, and when a write to it or
// the close failed, stderr says so and the exit code is at least 2.
int FinishStandardOutput(int exitCode);

}  // namespace lvs
