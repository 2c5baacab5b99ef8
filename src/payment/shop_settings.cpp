#include "payment/shop_settings.h"

#include "journal/journal.h"
#include "journal/platform_facts.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QSettings>
#include <QThreadPool>

#include <atomic>

namespace payment {

namespace {

const QString dayFormat = QStringLiteral("yyyyMMdd");

// The highest number handed out or seen this run, by day.
struct Counter {
    QMutex lock;
    bool fileRead = false;
    QDate day;
    int last = 0;

    void raise(const QDate &on, int number)
    {
        if (on != day) {
            if (on < day)
                return;
            day = on;
            last = 0;
        }
        last = std::max(last, number);
    }
};

Counter &memory()
{
    static Counter counter;
    return counter;
}

Counter &kitchenMemory()
{
    static Counter counter;
    return counter;
}

// What lies at `file` when it is no file to read or write (a pipe would
// hold the program for good), or empty.
QString notAFile(const QString &file)
{
    return journal::platform::specialFileKind(file);
}

// Readies shop.ini for a write: its folder and the file itself for the
// owner alone, whatever the umask. false: something else lies there.
bool readyToWrite(const QString &file)
{
    if (!notAFile(file).isEmpty())
        return false;
    journal::platform::makeOwnFolder(QFileInfo(file).path());
    journal::platform::makeOwnFile(file);
    return true;
}

// What shop.ini says of a counter, read once a run; `counter` is locked.
void readOnce(Counter &counter, const QString &file, const QString &section)
{
    if (counter.fileRead)
        return;
    counter.fileRead = true;
    if (!notAFile(file).isEmpty())
        return;
    const QSettings stored(file, QSettings::IniFormat);
    counter.raise(QDate::fromString(stored.value(section + QStringLiteral("/day")).toString(), dayFormat),
                  stored.value(section + QStringLiteral("/last")).toInt());
}

// Keeps the counter in shop.ini off the GUI thread (a synced write takes a
// while on a busy disk); each write puts down the latest count. A file that
// cannot be written leaves the count in memory.
void keep(Counter &counter, const QString &file, const QString &section)
{
    QThreadPool::globalInstance()->start([&counter, file, section] {
        static QMutex writing;  // one writer of shop.ini at a time, for every counter
        QMutexLocker one(&writing);
        if (!readyToWrite(file))
            return;
        QSettings stored(file, QSettings::IniFormat);
        {
            QMutexLocker locked(&counter.lock);
            stored.setValue(section + QStringLiteral("/day"), counter.day.toString(dayFormat));
            stored.setValue(section + QStringLiteral("/last"), counter.last);
        }
        stored.sync();
    });
}

QString folderOrDefault(const QString &folder)
{
    return folder.isEmpty() ? journal::defaultFolder() : folder;
}

// Why shop.ini cannot be written where it is, or empty.
QString refusal(const QString &file)
{
    const QString kind = notAFile(file);
    return kind.isEmpty() ? QString()
                          : QStringLiteral("店铺信息未能保存：“%1”是%2，不是文件。请把它移走或改名。")
                                .arg(QDir::toNativeSeparators(file), kind);
}

QString failure(const QSettings &settings)
{
    return settings.status() == QSettings::NoError
               ? QString()
               : QStringLiteral("店铺信息未能保存到“%1”（磁盘已满或没有写入权限）。")
                     .arg(QDir::toNativeSeparators(settings.fileName()));
}

QString written(QSettings &settings)
{
    settings.sync();
    return failure(settings);
}

}  // namespace

QStringList standardMethods()
{
    return {cashMethod, QStringLiteral("微信"), QStringLiteral("支付宝"), QStringLiteral("银行卡")};
}

QStringList ShopSettings::headerLines() const
{
    QStringList lines;
    for (const QString &line : {name, address, phone})
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines;
}

QStringList ShopSettings::methods() const
{
    QStringList all = standardMethods();
    for (const QString &extra : extraMethods)
        if (!extra.trimmed().isEmpty() && !all.contains(extra.trimmed()))
            all << extra.trimmed();
    return all;
}

QString shopFile(const QString &folder)
{
    return QDir(folderOrDefault(folder)).filePath(QStringLiteral("shop.ini"));
}

ShopSettings loadShop(const QString &folder)
{
    ShopSettings shop;
    if (!notAFile(shopFile(folder)).isEmpty())
        return shop;  // the defaults; saving says why
    QSettings file(shopFile(folder), QSettings::IniFormat);
    shop.name = file.value(QStringLiteral("shop/name")).toString();
    shop.address = file.value(QStringLiteral("shop/address")).toString();
    shop.phone = file.value(QStringLiteral("shop/phone")).toString();
    shop.footer = file.value(QStringLiteral("shop/footer")).toString();
    for (int i = 1; i <= extraMethodCount; ++i) {
        const QString method = file.value(QStringLiteral("payment/method%1").arg(i)).toString().trimmed();
        if (!method.isEmpty())
            shop.extraMethods << method;
    }
    shop.printReceipt = file.value(QStringLiteral("payment/printReceipt"), true).toBool();
    shop.kitchenPrinter = file.value(QStringLiteral("kitchen/printer")).toString();
    return shop;
}

QString saveShop(const ShopSettings &shop, const QString &folder)
{
    if (!readyToWrite(shopFile(folder)))
        return refusal(shopFile(folder));
    QSettings file(shopFile(folder), QSettings::IniFormat);
    file.setValue(QStringLiteral("shop/name"), shop.name);
    file.setValue(QStringLiteral("shop/address"), shop.address);
    file.setValue(QStringLiteral("shop/phone"), shop.phone);
    file.setValue(QStringLiteral("shop/footer"), shop.footer);
    for (int i = 1; i <= extraMethodCount; ++i)
        file.setValue(QStringLiteral("payment/method%1").arg(i),
                      i <= shop.extraMethods.size() ? shop.extraMethods[i - 1].trimmed() : QString());
    file.setValue(QStringLiteral("payment/printReceipt"), shop.printReceipt);
    file.setValue(QStringLiteral("kitchen/printer"), shop.kitchenPrinter);
    return written(file);
}

QString savePrintChoice(bool printReceipt, const QString &folder)
{
    if (!readyToWrite(shopFile(folder)))
        return refusal(shopFile(folder));
    QSettings file(shopFile(folder), QSettings::IniFormat);
    file.setValue(QStringLiteral("payment/printReceipt"), printReceipt);
    return written(file);
}

namespace {
std::atomic<int> receiptTill{0};  // set at start when the till belongs to a shop
}  // namespace

void setReceiptTill(int number)
{
    receiptTill = number;
}

int receiptTillNumber()
{
    return receiptTill;
}

void continueReceiptNumbersAfter(const QString &lastRecorded)
{
    const QStringList parts = lastRecorded.split(u'-');
    if (parts.size() != 2 && parts.size() != 3)
        return;
    const QDate day = QDate::fromString(parts[0], dayFormat);
    bool ok = false;
    const int number = parts.last().toInt(&ok);
    Counter &counter = memory();
    QMutexLocker locked(&counter.lock);
    if (day.isValid() && ok)
        counter.raise(day, number);
}

QString nextReceiptNumber(const QDate &day, const QString &folder)
{
    Counter &counter = memory();
    const QString file = shopFile(folder);
    int number = 0;
    {
        QMutexLocker locked(&counter.lock);
        readOnce(counter, file, QStringLiteral("receipt"));
        counter.raise(day, 0);
        number = counter.day == day ? counter.last + 1 : 1;
        counter.raise(day, number);
    }
    // At the next start after a failed write the counter goes on from the
    // highest 单号 the journal holds.
    keep(counter, file, QStringLiteral("receipt"));
    const QString running = QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
    if (const int till = receiptTill; till > 0)
        return QStringLiteral("%1-%2-%3").arg(day.toString(dayFormat)).arg(till).arg(running);
    return QStringLiteral("%1-%2").arg(day.toString(dayFormat), running);
}

int upcomingKitchenTicketNumber(const QDate &day, const QString &folder)
{
    Counter &counter = kitchenMemory();
    QMutexLocker locked(&counter.lock);
    readOnce(counter, shopFile(folder), QStringLiteral("kitchen"));
    return !counter.day.isValid() || day > counter.day ? 1 : counter.last + 1;
}

void kitchenTicketUsed(const QDate &day, int number, const QString &folder)
{
    Counter &counter = kitchenMemory();
    const QString file = shopFile(folder);
    {
        QMutexLocker locked(&counter.lock);
        readOnce(counter, file, QStringLiteral("kitchen"));
        // An earlier day (the clock put back) counts on today's numbers.
        counter.raise(day < counter.day ? counter.day : day, number);
    }
    keep(counter, file, QStringLiteral("kitchen"));
}

}  // namespace payment
