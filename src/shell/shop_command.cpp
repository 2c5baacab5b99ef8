#include "shell/shop_command.h"

#include "journal/journal.h"
#include "journal/outbox.h"
#include "journal/sqlite_db.h"
#include "settings/menu_transfer.h"
#include "shell/single_instance.h"
#include "shell/takings_command.h"
#include "shop/shop_config.h"
#include "shop/shop_figures.h"
#include "shop/shop_join.h"
#include "shop/shop_schema.h"
#include "shop/shop_server.h"

#include <QDate>
#include <QDir>
#include <QSaveFile>
#include <QUuid>

namespace {

CommandLineAnswer told(const QString &chinese, const QString &english, int code = 1)
{
    return CommandLineAnswer{oneLine(chinese, english), code};
}

// The shop's days `from` to `to` from its database; nullopt with `failed`
// saying why (no shop joined, no server, an answer no shop's server gives).
std::optional<QList<shop::ShopDay>> readShopDays(const QDate &from, const QDate &to, CommandLineAnswer *failed)
{
    const std::optional<shop::pg::Address> address = shop::loadAddress();
    if (!address) {
        *failed = told(QStringLiteral("本机没有加入店铺，没有全店的数字"), QStringLiteral("this till belongs to no shop"));
        return std::nullopt;
    }
    shop::pg::Connection db;
    if (!db.connect(*address)) {
        *failed = told(db.describeFailure(), QStringLiteral("the shop's database was not reached"));
        return std::nullopt;
    }
    QList<shop::ShopDay> days;
    for (QDate day = from; day <= to; day = day.addDays(1)) {
        const std::optional<shop::ShopDay> figures = shop::readShopDay(db, day);
        if (!figures) {
            *failed = told(db.failure() == shop::pg::Failure::None ? QStringLiteral("店铺数据库的应答看不懂")
                                                                   : db.describeFailure(),
                           QStringLiteral("the shop's figures cannot be read"));
            return std::nullopt;
        }
        days << *figures;
    }
    return days;
}

CommandLineAnswer usage()
{
    return told(QStringLiteral("用法：tavelko --join-shop postgresql://用户@服务器:5432/数据库 --till 编号 "
                               "--till-name 名称 [--replace-till]（密码用 PGPASSWORD 或 libpq 的密码文件）"),
                QStringLiteral("usage: tavelko --join-shop URI --till N --till-name NAME [--replace-till] "
                               "(password from PGPASSWORD or libpq's password file)"),
                2);
}

}  // namespace

CommandLineAnswer answerJoinShop(const QStringList &arguments)
{
    QString uri, name;
    int number = 0;
    bool replacing = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--till") && i + 1 < arguments.size())
            number = arguments[++i].toInt();
        else if (argument == QLatin1String("--till-name") && i + 1 < arguments.size())
            name = arguments[++i].trimmed();
        else if (argument == QLatin1String("--replace-till"))
            replacing = true;
        else if (uri.isEmpty() && !argument.startsWith(QLatin1String("--")))
            uri = argument;
        else
            return usage();
    }
    if (uri.isEmpty() || name.isEmpty())
        return usage();
    if (number < 1 || number > 99)
        return told(QStringLiteral("收银机编号要在 1 到 99 之间"), QStringLiteral("the till number must be 1 to 99"), 2);
    shop::pg::Address address;
    QString password;
    const QString wrong = shop::parseAddress(uri, &address, &password);
    if (!wrong.isEmpty())
        return told(wrong, QStringLiteral("the shop's address is not a PostgreSQL URI"), 2);
    if (!password.isEmpty())
        return told(QStringLiteral("密码不要写在命令行上（别人用 ps 就能看到）：请用 PGPASSWORD 或 libpq 的密码文件"),
                    QStringLiteral("no password on the command line (ps shows it): use PGPASSWORD or libpq's "
                                   "password file"),
                    2);
    SingleInstance guard(SingleInstance::IfRunning::LeaveAlone);
    if (!guard.isFirst())
        return told(QStringLiteral("Tavelko 正在运行，没有加入店铺。请先退出程序"),
                    QStringLiteral("Tavelko is running, the shop was not joined: quit it first"));

    journal::Journal journal(journal::defaultFolder());
    if (!journal.open())
        return told(journal.error(), QStringLiteral("the journal cannot be opened"));
    journal::TillIdentity till = journal.tillIdentity();
    const bool joinedBefore = till.isSet();
    if (!till.isSet())
        till.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    till.number = number;
    till.name = name;

    const shop::JoinReply joined =
        shop::joinServer(address, QString(), {till.uid, till.number, till.name}, replacing);
    if (!joined.ok)
        return told(joined.text, QStringLiteral("the shop was not joined"));
    if (!journal.joinShop(till))
        return told(journal.error(), QStringLiteral("the journal did not take the till's identity"));
    if (const QString kept = shop::saveAddress(address); !kept.isEmpty())
        return told(kept, QStringLiteral("the shop's address was not saved"));
    const QString typed = qEnvironmentVariable("PGPASSWORD");
    if (!typed.isEmpty())
        if (const QString kept = shop::keepPassword(address, typed); !kept.isEmpty())
            return told(kept, QStringLiteral("the password was not kept"));
    // The first join settles the menu: a shop without one takes this till's;
    // a shop with one replaces this till's, exported first beside the journal.
    QString chinese = joined.text, english = QStringLiteral("joined the shop as till %1").arg(till.number);
    if (!joinedBefore && joined.menuSize == 0) {
        QMap<QString, QString> captions;
        QString problem;
        if (!menu_transfer::filledCaptions(&captions, &problem) || !journal.shareMenu(captions, 0))
            return told(QStringLiteral("%1\n本机的菜单没能交给店铺：%2").arg(joined.text, problem.isEmpty() ? journal.error() : problem),
                        english + QStringLiteral(", but its menu was not handed to the shop"));
        if (captions.isEmpty()) {
            chinese += QStringLiteral("\n店铺和本机都还没有菜单：哪台收银机先有菜单并加入，就用它的菜单。");
            english += QStringLiteral("; neither the shop nor this till has a menu yet");
        } else {
            chinese += QStringLiteral("\n店铺还没有菜单：本机的菜单已作为全店的菜单。");
            english += QStringLiteral("; the shop had no menu and takes this till's");
        }
    } else if (!joinedBefore) {
        const QString file = menu_transfer::menuBackupFile(journal::defaultFolder());
        const menu_transfer::Outcome saved = menu_transfer::exportMenu(file);
        if (!saved.ok) {
            shop::setMenuVersion(joined.menuVersion);
            return told(QStringLiteral("%1\n%2\n本机先保留自己的菜单。").arg(joined.text, saved.problem.chinese),
                        english + QStringLiteral(", keeping its own menu: ") + saved.problem.english);
        }
        shop::setMenuVersion(0);
        chinese += QStringLiteral("\n店铺已有菜单：本机原来的菜单已导出到 %1，启动后用店铺的菜单。")
                       .arg(QDir::toNativeSeparators(file));
        english += QStringLiteral("; its own menu was exported to %1 and the shop's replaces it").arg(file);
    }
    return told(chinese, english, 0);
}

CommandLineAnswer answerShopStatus(const QStringList &arguments)
{
    if (!arguments.isEmpty())
        return told(QStringLiteral("用法：tavelko --shop-status"), QStringLiteral("usage: tavelko --shop-status"), 2);
    const std::optional<shop::pg::Address> address = shop::loadAddress();
    journal::sql::Database local;
    if (!address || !journal::openOutboxReader(local, journal::defaultFolder()))
        return told(QStringLiteral("本机没有加入店铺"), QStringLiteral("this till belongs to no shop"), 0);
    const journal::TillIdentity till = journal::tillIdentity(local);
    const qint64 end = journal::outboxEnd(local).value_or(0);
    if (!till.isSet())
        return told(QStringLiteral("本机没有加入店铺"), QStringLiteral("this till belongs to no shop"), 0);
    QStringList lines;
    lines << QStringLiteral("本机：%1 号收银机“%2”").arg(till.number).arg(till.name);
    lines << QStringLiteral("店铺数据库：%1:%2/%3，用户 %4")
                 .arg(address->host)
                 .arg(address->port)
                 .arg(address->database, address->user);
    shop::pg::Connection db;
    std::optional<qint64> stored;
    if (db.connect(*address))
        stored = shop::storedUpTo(db, till.uid);
    if (stored) {
        const qint64 waiting = qMax<qint64>(0, end - *stored);
        const QString tls = db.usesTls() ? QStringLiteral("（加密）") : QString();
        lines << (waiting == 0 ? QStringLiteral("状态：已连接%1，没有待上传的记录").arg(tls)
                               : QStringLiteral("状态：已连接%1，%2 笔待上传").arg(tls).arg(waiting));
        lines << QStringLiteral("待上传：%1").arg(waiting);
    } else {
        lines << QStringLiteral("状态：未连接：%1").arg(db.describeFailure());
    }
    return CommandLineAnswer{(lines.join(u'\n') + u'\n').toStdString(), stored ? 0 : 1};
}

CommandLineAnswer answerShopTakings(const QStringList &arguments)
{
    if (arguments.size() > 1)
        return told(QStringLiteral("用法：tavelko --takings --shop [YYYY-MM-DD]"),
                    QStringLiteral("usage: tavelko --takings --shop [YYYY-MM-DD]"), 2);
    QDate day;
    if (auto wrong = readDay(arguments.value(0, QStringLiteral("today")), &day))
        return *wrong;
    CommandLineAnswer failed;
    const std::optional<QList<shop::ShopDay>> figures = readShopDays(day, day, &failed);
    if (!figures)
        return failed;
    return CommandLineAnswer{shop::shopDayText(figures->first()).toStdString(), 0};
}

CommandLineAnswer answerShopExport(const QStringList &arguments)
{
    if (arguments.size() != 3)
        return told(QStringLiteral("用法：tavelko --export-takings --shop 起始日期 结束日期 文件"),
                    QStringLiteral("usage: tavelko --export-takings --shop FROM TO FILE"), 2);
    QDate from, to;
    if (auto wrong = readDayRange(arguments[0], arguments[1], &from, &to))
        return *wrong;
    if (from.daysTo(to) > 366)
        return told(QStringLiteral("一次最多导出一年（367 天）"), QStringLiteral("at most a year at a time"), 2);
    CommandLineAnswer failed;
    const std::optional<QList<shop::ShopDay>> days = readShopDays(from, to, &failed);
    if (!days)
        return failed;
    QSaveFile file(arguments[2]);
    const QByteArray csv = shop::shopDaysCsv(*days);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        return told(QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(arguments[2]), file.errorString()),
                    QStringLiteral("cannot write %1").arg(arguments[2]));
    return CommandLineAnswer{std::string(), 0};
}
