#pragma once
// The journal's two command-line options, for the end-of-day script and the
// bookkeeper. Both only read the journal, so they work while the program runs.

#include "shell/command_line.h"

#include <QStringList>

// `arguments` are those after the option itself.
// "--takings [YYYY-MM-DD|today]": the day's summary as plain text.
CommandLineAnswer answerTakings(const QStringList &arguments);
// "--export-takings FROM TO FILE": the orders of those days as CSV in FILE.
CommandLineAnswer answerExportTakings(const QStringList &arguments);
