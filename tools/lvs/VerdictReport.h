// A package's verdict as every command that opens or draws a package words
// it, so that check, info and render say the same of one package: the
// outcome in a sentence, then each problem with its code. Host result codes
// are the commands' detail, after the words.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "PackageCheck.h"

namespace lvs {

// Adds the verdict's keys to a command's JSON line: "ok" (no problem at
// all), "severity" (the worst problem's, or null), "shows" (ShownName) and
// "problems" (objects with "code", "severity" and "message").
void AddVerdictJson(const PackageVerdict& verdict, nlohmann::json* line);

// "PACKAGE: OK: the host would import it and show its own preview.", or
// "PACKAGE: NOT OK: " (or "WARNING: " when warnings are all there is) and
// the outcome, then one "  - [code] message" line per problem.
std::string VerdictText(const std::string& package, const PackageVerdict& verdict);

}  // namespace lvs
