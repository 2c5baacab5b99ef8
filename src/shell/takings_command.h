#pragma once
// The journal's command-line options, for the end-of-day script and the
// bookkeeper. Both only read the journal, so they work while the program runs.

#include "shell/command_line.h"

#include <QDate>
#include <QStringList>

#include <optional>

// The days of FROM and TO ("YYYY-MM-DD" or "today", FROM not after TO) into
// `from` and `to`; otherwise the complaint the options give.
std::optional<CommandLineAnswer> readDayRange(const QString &fromText, const QString &toText, QDate *from,
                                              QDate *to);
// One day ("YYYY-MM-DD" or "today") into `day`; otherwise the complaint.
std::optional<CommandLineAnswer> readDay(const QString &text, QDate *day);

// `arguments` are those after the option itself.
// "--takings [YYYY-MM-DD|today]": the day's summary as plain text.
CommandLineAnswer answerTakings(const QStringList &arguments);
// "--export-takings FROM TO FILE": the orders of those days as CSV in FILE,
// one row per order.
CommandLineAnswer answerExportTakings(const QStringList &arguments);
// "--export-lines FROM TO FILE": the lines of those orders, with their 单号.
CommandLineAnswer answerExportLines(const QStringList &arguments);
