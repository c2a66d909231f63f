#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The console verbs of qmcenter: "encrypt" and "decrypt" from a terminal, without a display.
//
//   encrypt [--password PW | --password-file F | --key KEYFILE] [--algorithm NAME] [--mode NAME]
//           [--compress] [--wipe] [-o|--output DIR | -o -] PATH...
//   encrypt --archive ARCHIVE.qma [options as above] PATH...   (added to the archive, created
//           when missing; entries that exist follow the archive overwrite setting)
//   encrypt --make-key KEYFILE
//   decrypt [--password PW | --password-file F | --key KEYFILE] [-o|--output DIR | -o -]
//           [--overwrite] [--restore-times | --no-restore-times] [--entry NAME]... FILE...
//           (an archive: all or the named entries, into --output or the current folder)
//   decrypt --list ARCHIVE.qma   (one line per entry: path, size, modification time)
//
// A PATH or FILE "-" is standard input; "-o -" writes the one result to standard output (the
// lines about the work then go to the error stream).
namespace shellkit {

// The verbs' usage text, several lines ending in a line break.
std::string ConsoleUsage();

// True when `word` is one of the verbs, compared without regard to case.
bool IsConsoleVerb(const std::string& word);

// Runs one command: arguments[0] is the verb (matched without regard to case); everything after
// it is used exactly as given, since paths and passwords are case-sensitive here. A password
// that no option gives is asked through uikit (hidden; twice when encrypting). Progress goes to
// `out`, one line per failure (naming the file and the reason) to `err`. Returns the exit
// status: 0 when every file succeeded, 1 otherwise.
int ProcessCmdLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
// The same for a whole command-line text, split at blanks outside double quotes.
int ProcessCmdLine(const std::string& commandLine);

std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// The algorithm-mode code used when no --algorithm/--mode is given: the stored default of the
// settings (AES/CBC when none is stored).
int DefaultAlgorithmMode();

} // namespace shellkit
