// The menu as a CSV file: what an export writes comes back through an import
// into the store and onto the windows already loaded; a file with a fault is
// refused with its line named, in the program and on the command line, and
// the store stays as it was.

#include "main_window/form2.h"
#include "main_window/menu_transfer_actions.h"
#include "settings/caption_store.h"
#include "sheets/order_sheet.h"
#include "shell/program.h"
#include "shell/single_instance.h"
#include "testsupport.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace testsupport;
using menu_transfer::Dish;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QString stored(const QString &key)
{
    QMap<QString, QString> captions;
    QString problem;
    settings::readCaptions({key}, &captions, &problem);
    return captions.value(key);
}

// The same file given to the program itself: exit code and what it printed.
std::pair<int, QString> runProgram(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);  // refusals go to standard error
    child.start(QStringLiteral(TAVELKO_BINARY), arguments);
    if (!child.waitForFinished(60000))
        return {-1, QString()};
    return {child.exitCode(), QString::fromUtf8(child.readAllStandardOutput())};
}

// A full menu: every dish named for its place, category 2 with the awkward
// cells.
QList<Dish> sampleMenu()
{
    QList<Dish> dishes;
    for (int c = 1; c <= 6; ++c)
        for (int r = 1; r <= 14; ++r)
            dishes.append({c, r, QStringLiteral("类别%1").arg(c), QStringLiteral("菜%1-%2").arg(c).arg(r),
                           r <= 7 ? QStringLiteral("小碗") : QStringLiteral("小份"), QString::number(r),
                           QStringLiteral("大碗"), QStringLiteral("%1.5").arg(r), 0});
    Dish &d = dishes[14 + 2];  // category 2, row 3
    d.dishName = QStringLiteral("牛肉面, \"特制\"");
    d.smallPrice = QStringLiteral("6");
    dishes[14 + 5].dishName = QStringLiteral(" 辣 ");
    dishes[14 + 3].dishName = QStringLiteral("两行\n的菜名");
    dishes[14 + 4].dishName = QString();
    for (Dish &row : dishes)
        if (row.category == 2)
            row.categoryName = QStringLiteral("面,条");
    return dishes;
}

}  // namespace

class TestMenuTransfer : public QObject {
    Q_OBJECT

private slots:
    void init() { clearStore(); }
    void roundTrip();
    void refused_data();
    void refused();
    void exportFromTheMenuAndCommandLine();

private:
    QTemporaryDir m_folder;
};

void TestMenuTransfer::roundTrip()
{
    Program program;
    form2().ensureLoaded();
    OrderSheet &loaded = orderSheet(2);
    loaded.ensureLoaded();
    set(loaded, QStringLiteral("L9"), QStringLiteral("2"));  // row 3, two small portions

    // Without a byte-order mark, with bare line feeds and empty rows at the
    // end, as some editors and spreadsheets save.
    const QList<Dish> menu = sampleMenu();
    QByteArray plain = menu_transfer::toCsv(menu).mid(3);
    plain.replace("\r\n", "\n");
    plain += ",,,,,,,\n\n";
    const QString file = m_folder.filePath(QStringLiteral("menu.csv"));
    writeBytes(file, plain);
    const menu_transfer::Outcome imported = menu_transfer::importIntoWindows(file);
    QVERIFY2(imported.ok, qPrintable(imported.problem.chinese));
    QCOMPARE(imported.rows, 84);

    // In the store, on the loaded windows (the row recomputed with its new
    // price), and on a sheet loaded afterwards.
    QCOMPARE(stored(QStringLiteral("Form4/Label3")), QStringLiteral("牛肉面, \"特制\""));
    QCOMPARE(stored(QStringLiteral("Form4/Label4")), QStringLiteral("两行\n的菜名"));
    QCOMPARE(stored(QStringLiteral("Form4/Label5")), QString());
    QCOMPARE(stored(QStringLiteral("Form2/C2")), QStringLiteral("面,条"));
    QCOMPARE(stored(QStringLiteral("Form8/Label16")), QStringLiteral("菜6-8"));  // right half, top
    QCOMPARE(stored(QStringLiteral("Form8/Label9")), QStringLiteral("小份"));
    QCOMPARE(form2().button(QStringLiteral("C2"))->text(), QStringLiteral("面,条"));
    QCOMPARE(text(loaded, QStringLiteral("Label3")), QStringLiteral("牛肉面, \"特制\""));
    QCOMPARE(text(loaded, QStringLiteral("l09")), QStringLiteral("6"));
    QCOMPARE(text(loaded, QStringLiteral("Label6")), QStringLiteral(" 辣 "));
    QCOMPARE(text(loaded, QStringLiteral("La3")), QStringLiteral("12"));
    QVERIFY(!program.sheetExists(5));
    QCOMPARE(text(orderSheet(5), QStringLiteral("l028")), QStringLiteral("14.5"));

    // The export gives back what was imported, with its mark and CRLF.
    const QString again = m_folder.filePath(QStringLiteral("again.csv"));
    QVERIFY(menu_transfer::exportMenu(again).ok);
    QCOMPARE(bytesOf(again), menu_transfer::toCsv(menu));
    // Spaces at a cell's ends are quoted, or a spreadsheet would trim them.
    QVERIFY(bytesOf(again).contains(",\" 辣 \","));

    // Rows left out of a file leave their entries alone. The mark may come
    // twice, from an editor that adds its own to a file that had one.
    writeBytes(file, "\xEF\xBB\xBF" +
                         menu_transfer::toCsv({{1, 9, QStringLiteral("新类别"), QStringLiteral("新菜"),
                                                QStringLiteral("小"), QStringLiteral("1"),
                                                QStringLiteral("大"), QStringLiteral("2"), 0}}));
    QVERIFY(menu_transfer::importIntoWindows(file).ok);
    QCOMPARE(stored(QStringLiteral("Form3/Label15")), QStringLiteral("新菜"));
    QCOMPARE(stored(QStringLiteral("Form3/Label9")), QStringLiteral("小"));
    QCOMPARE(stored(QStringLiteral("Form3/Label8")), QStringLiteral("小碗"));
    QCOMPARE(stored(QStringLiteral("Form3/Label1")), QStringLiteral("菜1-1"));
    QCOMPARE(stored(QStringLiteral("Form4/Label3")), QStringLiteral("牛肉面, \"特制\""));
}

void TestMenuTransfer::refused_data()
{
    QTest::addColumn<QByteArray>("content");  // empty: no file at all
    QTest::addColumn<QString>("told");        // what the message must name

    const QByteArray head = menu_transfer::toCsv({}).mid(3);
    const QByteArray row1 = "1,面条,1,牛肉面,小份,6,大份,8\r\n";
    QTest::newRow("no file") << QByteArray() << QStringLiteral("找不到文件");
    QTest::newRow("empty file") << QByteArray("\xEF\xBB\xBF") << QStringLiteral("第1行：表头");
    QTest::newRow("wrong header") << QByteArray("类别,名称\r\n") + row1 << QStringLiteral("第1行：表头");
    QTest::newRow("header not on the first line") << "\r\n" + head + row1
                                                  << QStringLiteral("第1行：表头");
    QTest::newRow("category 7") << head + row1 + "7,面条,1,a,b,1,c,2\r\n"
                                << QStringLiteral("第3行：类别“7”");
    QTest::newRow("category not a number") << head + "一,面条,1,a,b,1,c,2\r\n"
                                           << QStringLiteral("第2行：类别“一”");
    QTest::newRow("row 15") << head + "1,面条,15,a,小份,1,大份,2\r\n" << QStringLiteral("第2行：行“15”");
    QTest::newRow("row 0") << head + "1,面条,0,a,小份,1,大份,2\r\n" << QStringLiteral("第2行：行“0”");
    QTest::newRow("row twice") << head + row1 + "1,面条,2,b,小份,1,大份,2\r\n" + row1
                               << QStringLiteral("第4行：类别1第1行已在第2行出现过");
    QTest::newRow("headings of a half disagree")
        << head + row1 + "1,面条,7,b,%1份,1,大份,2\r\n"
        << QStringLiteral("第3行：小份名称（左半边1–7行应相同）“%1份”与第2行的“小份”不一致");
    QTest::newRow("halves may differ, names may not")
        << head + row1 + "1,面条,8,b,中,1,特大,2\r\n1,米饭,9,c,中,1,特大,2\r\n"
        << QStringLiteral("第4行：类别名称“米饭”与第2行的“面条”不一致");
    QTest::newRow("quote never closed") << head + row1 + "1,面条,2,\"b,小份,1,大份,2\r\n"
                                        << QStringLiteral("第3行：引号没有闭合");
    QTest::newRow("text after a quote") << head + "1,面条,2,\"b\"c,小份,1,大份,2\r\n"
                                        << QStringLiteral("第2行：引号后");
    QTest::newRow("quote in a bare cell") << head + "1,面条,2,b\"c,小份,1,大份,2\r\n"
                                          << QStringLiteral("第2行：含引号");
    QTest::newRow("cell missing") << head + row1 + "\"多\n行\",面条,2,b,小份,1,大份\r\n"
                                  << QStringLiteral("第3行：应有8个单元格，实有7个");
    QTest::newRow("cell too many") << head + "1,面条,1,牛肉面,小份,6,大份,8,\r\n"
                                   << QStringLiteral("第2行：应有8个单元格，实有9个");
    // A good menu padded past the size no menu reaches is refused by its size.
    QTest::newRow("over 4 MiB") << head + row1 + QByteArray(4 * 1024 * 1024, '\n')
                                << QStringLiteral("太大");
#ifdef Q_OS_UNIX
    // A good menu behind a pipe: opening it would wait for a writer.
    QTest::newRow("a pipe") << head + row1 << QStringLiteral("不是普通文件");
#endif
    QTest::newRow("saved as GBK") << head + row1 + "1,\xC3\xE6\xCC\xF5,2,b,\xD0\xA1,1,c,2\r\n"
                                  << QStringLiteral("第3行：不是 UTF-8");
}

void TestMenuTransfer::refused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, told);

    // A store holding a whole menu, which no refused file may touch.
    const QString before = m_folder.filePath(QStringLiteral("before.csv"));
    writeBytes(before, menu_transfer::toCsv(sampleMenu()));
    QVERIFY(menu_transfer::importMenu(before).ok);
    const QByteArray storeBefore = bytesOf(storeFile());
    QVERIFY(!storeBefore.isEmpty());

    const QString file = m_folder.filePath(QStringLiteral("refused.csv"));
    QFile::remove(file);
    QProcess writer;  // feeds the pipe, should it ever be opened
    const auto stopWriter = qScopeGuard([&] {
        writer.kill();
        writer.waitForFinished();
    });
    if (QTest::currentDataTag() == QLatin1String("a pipe")) {
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
#endif
        writeBytes(file + QStringLiteral(".menu"), content);
        writer.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("cat \"$0\" > \"$1\""),
                                            file + QStringLiteral(".menu"), file});
        QVERIFY(writer.waitForStarted());
    } else if (!content.isEmpty()) {
        writeBytes(file, content);
    }
    const menu_transfer::Outcome outcome = menu_transfer::importMenu(file);
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.problem.chinese.contains(told), qPrintable(outcome.problem.chinese));
    QCOMPARE(bytesOf(storeFile()), storeBefore);

    const auto [exitCode, printed] = runProgram({QStringLiteral("--import-menu"), file});
    QCOMPARE(exitCode, 1);
    QVERIFY2(printed.contains(told) && printed.count(u'\n') == 1, qPrintable(printed));
    QCOMPARE(bytesOf(storeFile()), storeBefore);

    // A good file is refused too while Tavelko runs (this test holds its lock).
    if (QTest::currentDataTag() == QLatin1String("wrong header")) {
        SingleInstance running(SingleInstance::IfRunning::LeaveAlone);
        QVERIFY(running.isFirst());
        const auto [code, refusal] = runProgram({QStringLiteral("--import-menu"), before});
        QCOMPARE(code, 1);
        QVERIFY2(refusal.contains(QStringLiteral("正在运行")), qPrintable(refusal));
        QCOMPARE(bytesOf(storeFile()), storeBefore);
    }
}

void TestMenuTransfer::exportFromTheMenuAndCommandLine()
{
    Program program;
    form2().ensureLoaded();
    const QString imported = m_folder.filePath(QStringLiteral("menu.csv"));
    writeBytes(imported, menu_transfer::toCsv(sampleMenu()));
    QCOMPARE(runProgram({QStringLiteral("--import-menu"), imported}).first, 0);

    // Through the owner's menu: the file dialog, then the message.
    QMenu menu;
    addMenuTransferActions(menu, &form2());
    const QString chosen = m_folder.filePath(QStringLiteral("从菜单"));
    QString told;
    const int dialogs = answerModals(
        [&](QWidget *dialog) {
            if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
                files->selectFile(chosen);
                static_cast<QDialog *>(files)->accept();
            } else {
                acceptingMessageBox(&told)(dialog);
            }
        },
        [&] { menu.actions().first()->trigger(); });
    QCOMPARE(dialogs, 2);
    QVERIFY2(told.contains(QStringLiteral("已导出 84 行")), qPrintable(told));
    QCOMPARE(bytesOf(chosen + QStringLiteral(".csv")), bytesOf(imported));

    const QString written = m_folder.filePath(QStringLiteral("exported.csv"));
    QCOMPARE(runProgram({QStringLiteral("--export-menu"), written}).first, 0);
    QCOMPARE(bytesOf(written), bytesOf(imported));
    const QString nowhere = m_folder.filePath(QStringLiteral("no/such/folder.csv"));
    QCOMPARE(runProgram({QStringLiteral("--export-menu"), nowhere}).first, 1);
    QVERIFY(!QFile::exists(nowhere));
    for (const QString option : {QStringLiteral("--export-menu"), QStringLiteral("--import-menu")})
        QCOMPARE(runProgram({option}).first, 2);  // no file named
#ifdef Q_OS_UNIX
    // A disk that fills up: told, and no cut file left.
    const QString full = m_folder.filePath(QStringLiteral("full.csv"));
    menu_transfer::Outcome outcome;
    withFileSizeLimit(64, [&] { outcome = menu_transfer::exportMenu(full); });
    QVERIFY(!outcome.ok);
    QVERIFY(!QFile::exists(full));
#endif

    // A store that cannot be read is no menu to back up: nothing is written.
    clearStore();
    QVERIFY(blockStore(true));
    const QString blank = m_folder.filePath(QStringLiteral("blank.csv"));
    const auto [code, printed] = runProgram({QStringLiteral("--export-menu"), blank});
    unblockStore();
    QCOMPARE(code, 1);
    QVERIFY2(printed.contains(QStringLiteral("设置文件无法读取")), qPrintable(printed));
    QVERIFY(!QFile::exists(blank));
}

QTEST_MAIN(TestMenuTransfer)
#include "tst_menu_transfer.moc"
