// What can be wrong with a style package, each with a code that scripts may
// rely on and a severity that says what the host would make of it. The codes
// are listed once, in Problems.cpp, with their severities; `lvs check
// --codes` prints that list and the README copies it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lvs {

// Worst first: a lower value is a worse outcome.
enum class Severity {
  NoImport,  // the host will not import the package
  Fallback,  // it imports, but the host shows the fallback picture (or no frame)
  Lossy,     // it imports and shows its preview, but the record keeps less than the package says
};

struct Problem {
  std::string code;  // e.g. "prv.wrong-size"
  Severity severity = Severity::NoImport;
  std::string message;  // a sentence for the package's author
};

struct ProblemCode {
  const char* code;
  Severity severity;
  std::string summary;
};

// Every code the tool reports, in a fixed order.
const std::vector<ProblemCode>& ProblemCodes();

// A problem of a listed code. A code missing from the list is a fault of the
// tool; it is reported as a refusal so that it is noticed.
Problem MakeProblem(const std::string& code, std::string message);

// "no-import", "fallback", "lossy".
const char* SeverityName(Severity severity);
// What the host makes of such a package: "the host would not import it"...
const char* SeverityOutcome(Severity severity);

// The worst severity among the problems; none for an empty list.
std::optional<Severity> WorstSeverity(const std::vector<Problem>& problems);

}  // namespace lvs
