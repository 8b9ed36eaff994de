// Pieces shared by the commands: loading the plug-in with its messages,
// printing JSON lines and problems, and the end-of-run leftovers check.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "Commands.h"
#include "Files.h"
#include "PluginSession.h"
#include "Problems.h"
#include "TextOutput.h"

namespace lvs {

// The command being run ("check"), for the messages; empty before one is.
void SetCommandName(const std::string& name);
const std::string& CommandName();

// "lvs COMMAND: text" on standard error: every error and note the tool
// gives names the command it comes from.
void Complain(const std::string& text);

// Loads the module named by --plugin, or the default one; prints why not
// unless told to keep quiet.
bool LoadPlugin(PluginSession& session, const std::string& requested, bool sayWhyNot = true);

// Ends the session: a report of anything the plug-in left behind goes to
// stderr and turns the exit code into kExitLeftovers.
int FinishSession(PluginSession& session, int exitCode);

// One JSON value on one line of stdout (or of `stream`), written whole;
// invalid UTF-8 in texts is replaced.
void PrintJsonLine(const nlohmann::json& value, Stream stream = Stream::Out);
// The same line as text, with its newline.
std::string JsonLine(const nlohmann::json& value);

// Text from a package (names, metadata, paths) made safe for a terminal:
// control characters (C0, DEL and C1) and bytes that are not UTF-8 are
// written as \xHH or \u00HH, so that no text can move the cursor, ring the
// bell or rewrite what was printed before it.
std::string Printable(const std::string& text);

// A fixed-size text field of the options record, up to its first NUL.
std::string FieldText(const char* field, size_t size);

// Problems as check --json lists them: objects with "code", "severity" and
// "message".
nlohmann::json ProblemsJson(const std::vector<Problem>& problems);
// Problems as the text output lists them, one "  - [code] message" a line.
std::string ProblemsText(const std::vector<Problem>& problems);

// Makes a package argument ready to open; when it cannot be (standard input
// that cannot be copied), says why and raises *exitCode to kExitUsage.
bool PreparePackage(PackageInput* input, const std::string& argument, int* exitCode);

// Says which folders could not be walked; kExitUsage when there were any.
int ReportUnreadableFolders(const std::vector<std::string>& folders);

}  // namespace lvs
