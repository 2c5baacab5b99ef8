#include "shell/takings_command.h"

#include "journal/journal.h"
#include "payment/shop_settings.h"

#include <QDate>
#include <QDir>
#include <QStringList>

namespace {

constexpr int usageError = 2;
constexpr int failed = 1;

CommandLineAnswer failure(const QString &chinese, const QString &english, int code = failed)
{
    return CommandLineAnswer{oneLine(chinese, english), code};
}

std::optional<QDate> dateArgument(const QString &text)
{
    if (text == QStringLiteral("today"))
        return QDate::currentDate();
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid() || text.size() != 10)
        return std::nullopt;
    return date;
}

CommandLineAnswer badDate(const QString &text)
{
    return failure(QStringLiteral("日期无效：“%1”，应为 YYYY-MM-DD 或 today").arg(text),
                   QStringLiteral("invalid date \"%1\", expected YYYY-MM-DD or today").arg(text),
                   usageError);
}

}  // namespace

std::optional<CommandLineAnswer> readDay(const QString &text, QDate *day)
{
    const std::optional<QDate> date = dateArgument(text);
    if (!date)
        return badDate(text);
    *day = *date;
    return std::nullopt;
}

std::optional<CommandLineAnswer> readDayRange(const QString &fromText, const QString &toText, QDate *from,
                                              QDate *to)
{
    if (auto wrong = readDay(fromText, from))
        return wrong;
    if (auto wrong = readDay(toText, to))
        return wrong;
    if (*from > *to)
        return failure(QStringLiteral("起始日期 %1 晚于结束日期 %2").arg(fromText, toText),
                       QStringLiteral("FROM %1 is after TO %2").arg(fromText, toText), usageError);
    return std::nullopt;
}

CommandLineAnswer answerTakings(const QStringList &arguments)
{
    if (arguments.size() > 1)
        return failure(QStringLiteral("用法：tavelko --takings [YYYY-MM-DD]"),
                       QStringLiteral("usage: tavelko --takings [YYYY-MM-DD]"), usageError);
    const QString dayText = arguments.value(0, QStringLiteral("today"));
    const std::optional<QDate> day = dateArgument(dayText);
    if (!day)
        return badDate(dayText);
    journal::Journal journal(journal::defaultFolder(), journal::Journal::Mode::Reading);
    const std::optional<journal::DaySummary> summary = journal.summaryOf(*day);
    if (!summary)
        return failure(journal.error(), QStringLiteral("cannot read the takings journal %1")
                                            .arg(journal.databasePath()));
    return CommandLineAnswer{journal::summaryText(*summary, payment::loadShop().headerLines()).toStdString(), 0};
}

namespace {

// "OPTION FROM TO FILE": the orders (or their lines) of those days as CSV.
CommandLineAnswer exportDays(const QStringList &arguments, journal::CsvKind kind)
{
    const QString option = kind == journal::CsvKind::Lines ? QStringLiteral("--export-lines")
                                                           : QStringLiteral("--export-takings");
    if (arguments.size() != 3)
        return failure(QStringLiteral("用法：tavelko %1 起始日期 结束日期 文件").arg(option),
                       QStringLiteral("usage: tavelko %1 FROM TO FILE").arg(option), usageError);
    QDate from, to;
    if (auto wrong = readDayRange(arguments[0], arguments[1], &from, &to))
        return *wrong;
    journal::Journal journal(journal::defaultFolder(), journal::Journal::Mode::Reading);
    if (!journal.exportCsv(from, to, arguments[2], kind))
        return failure(journal.error(), QStringLiteral("the takings were not exported to %1")
                                            .arg(QDir::toNativeSeparators(arguments[2])));
    return CommandLineAnswer{std::string(), 0};
}

}  // namespace

CommandLineAnswer answerExportTakings(const QStringList &arguments)
{
    return exportDays(arguments, journal::CsvKind::Orders);
}

CommandLineAnswer answerExportLines(const QStringList &arguments)
{
    return exportDays(arguments, journal::CsvKind::Lines);
}
