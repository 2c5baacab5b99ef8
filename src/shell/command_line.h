#pragma once
// The few command-line options, answered before any window or display is
// needed. Qt's own options (-platform, -style, ...) are left to Qt; any other
// option is refused. Arguments that are not options are ignored.

#include <optional>
#include <string>

class QString;

struct CommandLineAnswer {
    std::string text;  // printed on standard output, on standard error when exitCode is not 0
    int exitCode = 0;
};

// "--version" / "-v": the version; "--help" / "-h" / "/?": a short usage in
// Chinese and English; "--export-menu FILE" / "--import-menu FILE": the menu
// written to or read from a CSV file, one line in Chinese and English, exit
// code 0 when done, 1 when not, 2 without a file name. An unknown option: a
// one-line message, exit code 2. Anything else: no answer, the program starts.
std::optional<CommandLineAnswer> answerCommandLine(int argc, const char *const argv[]);

// A message for the console: the Chinese, " / ", the English, on one line
// (line breaks inside become spaces), ending in a line feed.
std::string oneLine(const QString &chinese, const QString &english);
