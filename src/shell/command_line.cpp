#include "shell/command_line.h"

#include "journal/journal.h"
#include "settings/menu_transfer.h"
#include "shell/single_instance.h"
#include "shell/shop_command.h"
#include "shell/takings_command.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <string_view>

std::string oneLine(const QString &chinese, const QString &english)
{
    QString text = chinese + QStringLiteral(" / ") + english;
    text.replace(u'\n', u' ');
    return text.toStdString() + '\n';
}

namespace {

// Runs `answer` over the arguments that follow the option at `at`, as whole
// text: on Windows only QCoreApplication reads them from the system in full
// (argv holds them in the ANSI code page). The application also names this
// program for the single-copy lock as a running copy's does.
template <typename Answer>
CommandLineAnswer withArguments(int argc, const char *const argv[], int at, Answer answer)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i] ? argv[i] : "");
    std::unique_ptr<QCoreApplication> application;
    int count = 1;
    char *first[] = {const_cast<char *>(argv[0] ? argv[0] : "tavelko"), nullptr};
    if (!QCoreApplication::instance()) {
        application = std::make_unique<QCoreApplication>(count, first);
        const QStringList whole = QCoreApplication::arguments();
        if (whole.size() == argc)
            arguments = whole;
    }
    return answer(arguments.mid(at + 1));
}

// "--export-menu FILE" and "--import-menu FILE", answered without a display.
CommandLineAnswer transferMenu(bool import, const QStringList &arguments)
{
    const QLatin1String option(import ? "--import-menu" : "--export-menu");
    const QString file = arguments.value(0);
    if (file.isEmpty())
        return {oneLine(QStringLiteral("%1 后面缺少文件名").arg(option),
                        QStringLiteral("%1 needs a file name").arg(option)),
                2};

    menu_transfer::Outcome outcome;
    if (import) {
        // A running copy would write its own captions over the imported ones
        // at its next "关闭"; while the import runs, none can start.
        SingleInstance guard(SingleInstance::IfRunning::LeaveAlone);
        if (!guard.isFirst())
            return {oneLine(QStringLiteral("Tavelko 正在运行，没有导入。请在程序中导入菜单，或先退出程序"),
                            QStringLiteral("Tavelko is running, nothing imported: import from its "
                                           "menu, or quit it first")),
                    1};
        outcome = menu_transfer::importMenu(file);
    } else {
        outcome = menu_transfer::exportMenu(file);
    }
    if (!outcome.ok)
        return {oneLine(outcome.problem.chinese, outcome.problem.english), 1};
    std::string text =
        import ? oneLine(QStringLiteral("已导入 %1 行").arg(outcome.rows),
                         QStringLiteral("%1 rows imported").arg(outcome.rows))
               : oneLine(QStringLiteral("已导出 %1 行到 %2").arg(outcome.rows).arg(file),
                         QStringLiteral("%1 rows exported to %2").arg(outcome.rows).arg(file));
    if (!outcome.problem.chinese.isEmpty())
        text += oneLine(outcome.problem.chinese, outcome.problem.english);
    return {text, 0};
}

// "--backup-journal FILE" and "--restore-journal FILE", answered without a
// display. The backup only reads (SQLite's online backup), so it runs beside
// the program; the restore replaces the journal and is refused while the
// program runs.
CommandLineAnswer transferJournal(bool restore, const QStringList &arguments)
{
    const QLatin1String option(restore ? "--restore-journal" : "--backup-journal");
    const QString file = arguments.value(0);
    if (file.isEmpty())
        return {oneLine(QStringLiteral("%1 后面缺少文件名").arg(option),
                        QStringLiteral("%1 needs a file name").arg(option)),
                2};
    const QString folder = journal::defaultFolder();
    if (!restore) {
        journal::Journal journal(folder, journal::Journal::Mode::Reading);
        if (!journal.backupTo(file))
            return {oneLine(journal.error(),
                            QStringLiteral("the journal was not backed up to %1").arg(file)),
                    1};
        const int orders = journal.orderCount();
        return {oneLine(QStringLiteral("已将营业记录（%1 单）备份到 %2").arg(orders).arg(file),
                        QStringLiteral("journal (%1 orders) backed up to %2").arg(orders).arg(file)),
                0};
    }
    SingleInstance guard(SingleInstance::IfRunning::LeaveAlone);
    if (!guard.isFirst())
        return {oneLine(QStringLiteral("Tavelko 正在运行，没有恢复。请先退出程序再恢复营业记录"),
                        QStringLiteral("Tavelko is running, nothing restored: quit it first")),
                1};
    const journal::Restored restored = journal::restoreJournal(folder, file);
    if (!restored.ok)
        return {oneLine(restored.error, QStringLiteral("the journal was not restored from %1").arg(file)),
                1};
    const QString kept = restored.kept.isEmpty() ? QString() : restored.kept;
    return {oneLine(QStringLiteral("已从 %1 恢复营业记录（%2 单）%3")
                        .arg(file)
                        .arg(restored.orders)
                        .arg(kept.isEmpty() ? QString() : QStringLiteral("，原记录保留为 ") + kept),
                    QStringLiteral("journal restored from %1 (%2 orders)%3")
                        .arg(file)
                        .arg(restored.orders)
                        .arg(kept.isEmpty() ? QString()
                                            : QStringLiteral(", the previous one kept as ") + kept)),
            0};
}

// Options QApplication takes itself (with one dash or two); the ones in the
// first list are followed by a value.
constexpr std::array<std::string_view, 16> qtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display",
    "geometry", "name", "title", "qmljsdebugger", "dialogs"};
constexpr std::array<std::string_view, 6> qtFlags = {
    "reverse", "widgetcount", "nograb", "dograb", "sync", "visual"};

bool isQtOption(std::string_view argument, bool *takesValue)
{
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    argument = argument.substr(0, argument.find('='));
    const auto in = [argument](const auto &list) {
        return std::find(list.begin(), list.end(), argument) != list.end();
    };
    *takesValue = in(qtOptionsWithValue);
    return *takesValue || in(qtFlags);
}

}  // namespace

std::optional<CommandLineAnswer> answerCommandLine(int argc, const char *const argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i] ? argv[i] : "";
        if (argument == "--version" || argument == "-v")
            return CommandLineAnswer{"Tavelko " TAVELKO_VERSION "\n"};
        if (argument == "--takings" && i + 1 < argc && std::string_view(argv[i + 1] ? argv[i + 1] : "") == "--shop")
            return withArguments(argc, argv, i + 1, answerShopTakings);
        if (argument == "--takings")
            return withArguments(argc, argv, i, answerTakings);
        if (argument == "--join-shop")
            return withArguments(argc, argv, i, answerJoinShop);
        if (argument == "--shop-status")
            return withArguments(argc, argv, i, answerShopStatus);
        if (argument == "--export-takings" && i + 1 < argc && std::string_view(argv[i + 1] ? argv[i + 1] : "") == "--shop")
            return withArguments(argc, argv, i + 1, answerShopExport);
        if (argument == "--export-takings")
            return withArguments(argc, argv, i, answerExportTakings);
        if (argument == "--export-lines")
            return withArguments(argc, argv, i, answerExportLines);
        if (argument == "--help" || argument == "-h" || argument == "/?")
            return CommandLineAnswer{
                "用法: tavelko [--version] [--help] [--takings [日期]]\n"
                "      tavelko --export-takings 起始日期 结束日期 文件\n"
                "      tavelko --export-lines 起始日期 结束日期 文件\n"
                "      tavelko --export-menu 文件 | --import-menu 文件\n"
                "      tavelko --backup-journal 文件 | --restore-journal 文件\n"
                "      tavelko --join-shop 地址 --till 编号 --till-name 名称 | --shop-status\n"
                "      tavelko --takings --shop [日期] | --export-takings --shop 起始日期 结束日期 文件\n"
                "Usage: tavelko [--version] [--help] [--takings [DATE]]\n"
                "       tavelko --export-takings FROM TO FILE\n"
                "       tavelko --export-lines FROM TO FILE\n"
                "       tavelko --export-menu FILE | --import-menu FILE\n"
                "       tavelko --backup-journal FILE | --restore-journal FILE\n"
                "       tavelko --join-shop URI --till N --till-name NAME | --shop-status\n"
                "       tavelko --takings --shop [DATE] | --export-takings --shop FROM TO FILE\n"
                "\n"
                "Tavelko 是小餐馆的点菜收银程序。不带参数启动时打开欢迎窗口。\n"
                "Tavelko is the ordering and till program of a small restaurant.\n"
                "Started without options it opens its welcome window.\n"
                "\n"
                "  --version           显示版本 / print the version\n"
                "  --help              显示本说明 / print this help\n"
                "  --export-menu 文件  把菜单（类别、菜名、份量、价格）存为 CSV 文件\n"
                "                      / write the menu (categories, dishes, portions, prices)\n"
                "                      to a CSV file\n"
                "  --import-menu 文件  从 CSV 文件导入菜单（程序运行时不可用）\n"
                "                      / read the menu from a CSV file (not while Tavelko runs)\n"
                "  --takings [日期]    显示当天（或指定日期 YYYY-MM-DD）的营业日结\n"
                "                      / print the day's takings summary (today by default)\n"
                "  --export-takings 起始日期 结束日期 文件\n"
                "                      将这段日期的订单导出为 CSV 文件，每单一行（日期或 today）\n"
                "                      / export the orders of FROM to TO as CSV, one row each\n"
                "  --export-lines 起始日期 结束日期 文件\n"
                "                      将这些订单的菜品明细（带单号）导出为 CSV 文件\n"
                "                      / export those orders' lines, with their 单号, as CSV\n"
                "  --backup-journal 文件\n"
                "                      把营业记录备份为一个文件（程序运行时也可以）\n"
                "                      / back the journal up to a file (also while Tavelko runs)\n"
                "  --restore-journal 文件\n"
                "                      用备份文件替换营业记录，原记录改名保留（程序运行时不可用）\n"
                "                      / replace the journal by a backup, the old one kept under a\n"
                "                      dated name (not while Tavelko runs)\n"
                "  --join-shop postgresql://用户@服务器:5432/数据库 --till 编号 --till-name 名称\n"
                "                      加入店铺数据库（密码用 PGPASSWORD），--replace-till 替换坏掉的同号收银机\n"
                "                      / join the shop's database (password from PGPASSWORD);\n"
                "                      --replace-till takes the number of a broken till\n"
                "  --shop-status       显示和店铺数据库的连接及待上传的记录\n"
                "                      / the link to the shop's database and what waits to go up\n"
                "  --takings --shop [日期]\n"
                "                      全店（所有收银机）的营业日结 / the whole shop's day\n"
                "  --export-takings --shop 起始日期 结束日期 文件\n"
                "                      把全店这段日期的数字导出为 CSV，每天每台收银机一行\n"
                "                      / the whole shop's days as CSV, a row per day and till\n"};
        if (argument == "--backup-journal" || argument == "--restore-journal")
            return withArguments(argc, argv, i, [restore = argument == "--restore-journal"](
                                                    const QStringList &rest) {
                return transferJournal(restore, rest);
            });
        if (argument == "--export-menu" || argument == "--import-menu")
            return withArguments(argc, argv, i, [import = argument == "--import-menu"](
                                                    const QStringList &rest) {
                return transferMenu(import, rest);
            });
        if (argument.size() > 1 && argument.starts_with('-')) {
            bool takesValue = false;
            if (!isQtOption(argument, &takesValue))
                return CommandLineAnswer{"tavelko: 未知选项 " + std::string(argument) +
                                             "，见 tavelko --help / unknown option " +
                                             std::string(argument) + ", see tavelko --help\n",
                                         2};
            if (takesValue && argument.find('=') == std::string_view::npos)
                ++i;  // its value is Qt's too
        }
    }
    return std::nullopt;
}
