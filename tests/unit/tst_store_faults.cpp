// The settings store against a failing disk, a damaged file and a run that
// ended abruptly: for each fault, the message the user is shown, and that no
// entry that could be read before is lost.
//
// The tests run as root here, and root ignores file modes: the cases that
// rest on a mode run as the user "nobody" (setpriv, on a copy of this
// program), the store handed to that user. The full disk is a small tmpfs
// mounted over the store's folder, where the machine lets us mount one.

#include "settings/caption_store.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

using Entries = QMap<QString, QString>;  // "Section/key" -> caption

enum Fault {
    ReadOnlyFile, ReadOnlyFolder, UnreadableFile, FileIsFolder, DiskFull,
    Utf16, RandomBytes, ByteOrderMark, BadHeader, StaleLock
};

constexpr uid_t nobody = 65534;
const QString edited = QStringLiteral("新面条");

// The store before the fault: category names and a few captions per sheet.
const Entries &original()
{
    static const Entries entries = [] {
        Entries e;
        const QStringList names = {QStringLiteral("面条"), QStringLiteral("小炒"),
                                   QStringLiteral("包子 馒头"), QStringLiteral("饺子"),
                                   QStringLiteral("米饭"), QStringLiteral("凉菜")};
        const QStringList buttons = {QStringLiteral("C1"), QStringLiteral("C2"),
                                     QStringLiteral("C3"), QStringLiteral("c4"),
                                     QStringLiteral("c5"), QStringLiteral("c6")};
        for (int i = 0; i < 6; ++i)
            e.insert(QStringLiteral("Form2/") + buttons[i], names[i]);
        for (int form = 3; form <= 8; ++form)
            for (const char *key : {"Label1", "Label2", "l01", "l02"})
                e.insert(QStringLiteral("Form%1/%2").arg(form).arg(QLatin1String(key)),
                         QStringLiteral("%1 第%2张").arg(QLatin1String(key)).arg(form));
        return e;
    }();
    return entries;
}

QByteArray iniText()
{
    QByteArray text;
    QString section;
    for (auto it = original().cbegin(); it != original().cend(); ++it) {
        if (it.key().section(u'/', 0, 0) != section) {
            section = it.key().section(u'/', 0, 0);
            text += '[' + section.toUtf8() + "]\n";
        }
        text += it.key().section(u'/', 1).toUtf8() + '=' + it.value().toUtf8() + '\n';
    }
    return text;
}

QByteArray contentFor(Fault fault)
{
    switch (fault) {
    case Utf16:
        return QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)(
            QString::fromUtf8(iniText()));
    case RandomBytes: {
        QRandomGenerator random(11);
        QByteArray bytes(2048, '\0');
        for (char &byte : bytes)
            byte = char(random.bounded(256));
        return bytes;
    }
    case ByteOrderMark:
        return "\xEF\xBB\xBF" + iniText();
    case BadHeader:
        return iniText().replace("[Form4]", "[Form4");
    default:
        return iniText();
    }
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the windows show after loading, each window's controls named as in
// the store.
Entries loadAll(std::vector<std::unique_ptr<QWidget>> *controls = nullptr)
{
    Entries shown;
    QString section;
    for (auto it = original().cbegin(); it != original().cend(); ++it) {
        const QString window = it.key().section(u'/', 0, 0);
        const bool isMain = window == QStringLiteral("Form2");
        std::unique_ptr<QWidget> control;
        if (isMain)
            control = std::make_unique<QPushButton>(QStringLiteral("设计"));
        else
            control = std::make_unique<QLabel>(QStringLiteral("设计"));
        control->setObjectName(it.key().section(u'/', 1));
        settings::GetSettingEx(window, {control.get()},
                               isMain ? settings::CaptionKind::CommandButton
                                      : settings::CaptionKind::Label);
        shown.insert(it.key(), isMain ? static_cast<QPushButton *>(control.get())->text()
                                      : static_cast<QLabel *>(control.get())->text());
        if (controls)
            controls->push_back(std::move(control));
    }
    return shown;
}

// What one run of the program meets: every window loads, then a category is
// renamed and the main window's "关闭" saves.
QJsonObject act()
{
    settings::resetReadState();
    std::vector<std::unique_ptr<QWidget>> controls;
    const Entries shown = loadAll(&controls);
    const QString loadMessage = settings::takeReadProblem();
    QList<QWidget *> mainButtons;
    for (const auto &control : controls)
        if (auto *button = qobject_cast<QPushButton *>(control.get()))
            mainButtons.append(button);
    static_cast<QPushButton *>(mainButtons.first())->setText(edited);  // C1
    const bool saved = settings::SaveSettingEx(QStringLiteral("Form2"), mainButtons,
                                               settings::CaptionKind::CommandButton);
    QJsonObject shownObject;
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
        shownObject.insert(it.key(), it.value());
    return {{QStringLiteral("loadMessage"), loadMessage},
            {QStringLiteral("saved"), saved},
            {QStringLiteral("saveMessage"),
             saved ? QString() : settings::saveFailureMessage(QStringLiteral("类别名称"))},
            {QStringLiteral("shown"), shownObject}};
}

// Runs act() as the user "nobody", on a copy of this program; nothing when
// it cannot be done here (`why` says why).
std::optional<QJsonObject> actAsNobody(QString *why)
{
    QTemporaryDir dir;
    const QString copy = dir.path() + QStringLiteral("/tst_store_faults");
    if (!dir.isValid() || ::chmod(QFile::encodeName(dir.path()).constData(), 0755) != 0 ||
        !QFile::copy(QCoreApplication::applicationFilePath(), copy)) {
        *why = QStringLiteral("no copy of the test program for the user nobody");
        return std::nullopt;
    }
    QProcess child;
    child.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"),
                                            QStringLiteral("--regid=65534"),
                                            QStringLiteral("--clear-groups"), copy,
                                            QStringLiteral("--act")});
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        *why = QStringLiteral("setpriv could not run the test as nobody: %1 %2")
                   .arg(child.errorString(), QString::fromLocal8Bit(child.readAllStandardError()));
        return std::nullopt;
    }
    return QJsonDocument::fromJson(child.readAllStandardOutput()).object();
}

}  // namespace

class TestStoreFaults : public QObject {
    Q_OBJECT

private slots:
    void init() { clearStore(); }
    void cleanup();

    void faultMatrix_data();
    void faultMatrix();

private:
    QString m_mounted;
};

void TestStoreFaults::cleanup()
{
    const QString file = storeFile();
    const QString folder = QFileInfo(file).path();
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    ::chmod(QFile::encodeName(file).constData(), 0644);
    if (!m_mounted.isEmpty())
        QProcess::execute(QStringLiteral("umount"), {m_mounted});
    m_mounted.clear();
    if (QFileInfo(file).isDir())
        QDir(file).removeRecursively();
    clearStore();
}

void TestStoreFaults::faultMatrix_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("loadMessage");  // part of the message at load; empty: none
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("saveMessage");  // part of the message of a failed save
    QTest::addColumn<bool>("allShown");        // every entry before the fault is shown

    QTest::newRow("read-only file") << int(ReadOnlyFile) << QString() << false
                                    << QStringLiteral("设置文件是只读的") << true;
    QTest::newRow("read-only folder") << int(ReadOnlyFolder) << QString() << false
                                      << QStringLiteral("设置文件夹不可写") << true;
    QTest::newRow("unreadable file") << int(UnreadableFile) << QStringLiteral("没有读取权限")
                                     << false << QStringLiteral("为免覆盖其中的内容") << false;
    QTest::newRow("file is a folder")
        << int(FileIsFolder) << QStringLiteral("设置文件的位置上是一个文件夹") << false
        << QStringLiteral("设置文件的位置上是一个文件夹") << false;
    QTest::newRow("disk full") << int(DiskFull) << QString() << false
                               << QStringLiteral("磁盘空间不足") << true;
    QTest::newRow("UTF-16") << int(Utf16) << QStringLiteral("UTF-16 编码") << true << QString()
                            << true;
    QTest::newRow("random bytes") << int(RandomBytes) << QStringLiteral("设置文件已损坏")
                                  << true << QString() << false;
    QTest::newRow("UTF-8 byte-order mark")
        << int(ByteOrderMark) << QString() << true << QString() << true;
    QTest::newRow("header without ]") << int(BadHeader) << QStringLiteral("有无法识别的行")
                                      << true << QString() << true;
    QTest::newRow("stale empty lock") << int(StaleLock) << QString() << true << QString()
                                      << true;
}

void TestStoreFaults::faultMatrix()
{
    QFETCH(int, fault);
    QFETCH(QString, loadMessage);
    QFETCH(bool, saved);
    QFETCH(QString, saveMessage);
    QFETCH(bool, allShown);

    const QString file = storeFile();
    const QString folder = QFileInfo(file).path();
    const QByteArray folderName = QFile::encodeName(folder), fileName = QFile::encodeName(file);
    QVERIFY(QDir().mkpath(folder));

    if (fault == DiskFull) {
        QProcess mount;
        mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                              QStringLiteral("-o"), QStringLiteral("size=64k"),
                                              QStringLiteral("tmpfs"), folder});
        if (!mount.waitForFinished() || mount.exitCode() != 0)
            QSKIP(qPrintable(QStringLiteral("this machine does not let the test mount a tmpfs: ") +
                             mount.errorString() + u' ' +
                             QString::fromLocal8Bit(mount.readAllStandardError())));
        m_mounted = folder;
    }
    const QByteArray before = contentFor(Fault(fault));
    if (fault == FileIsFolder) {
        QVERIFY(QDir().mkpath(file));
    } else {
        QFile store(file);
        QVERIFY(store.open(QIODevice::WriteOnly) && store.write(before) == before.size());
    }
    if (fault == DiskFull) {  // fill what is left of it
        QFile filler(folder + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size()) {
        }
    }
    if (fault == StaleLock) {  // what a killed run leaves behind
        QFile(file + QStringLiteral(".lock")).open(QIODevice::WriteOnly);
        QFile temporary(file + QStringLiteral(".Ab12Cd"));
        QVERIFY(temporary.open(QIODevice::WriteOnly) && temporary.write("[Form2]\nC1=") > 0);
        QFile users(file + QStringLiteral(".backup"));  // the user's own, not a leftover
        QVERIFY(users.open(QIODevice::WriteOnly) && users.write(before) == before.size());
    }

    // The modes that make the fault, on a store that belongs to "nobody".
    const bool byMode = fault == ReadOnlyFile || fault == ReadOnlyFolder || fault == UnreadableFile;
    const bool asNobody = byMode && ::geteuid() == 0;
    if (asNobody)
        QVERIFY(::chown(folderName, nobody, nobody) == 0 && ::chown(fileName, nobody, nobody) == 0);
    if (fault == ReadOnlyFile)
        QVERIFY(::chmod(fileName, 0444) == 0);
    if (fault == ReadOnlyFolder)
        QVERIFY(::chmod(folderName, 0555) == 0);
    if (fault == UnreadableFile)
        QVERIFY(::chmod(fileName, 0000) == 0);

    QJsonObject outcome;
    if (asNobody) {
        QString why;
        const std::optional<QJsonObject> asked = actAsNobody(&why);
        if (!asked)
            QSKIP(qPrintable(why));
        outcome = *asked;
    } else {
        outcome = act();
    }
    ::chmod(folderName, 0755);
    ::chmod(fileName, 0644);

    // The messages, in the log for the record.
    const QString toldAtLoad = outcome.value(QStringLiteral("loadMessage")).toString();
    const QString toldAtSave = outcome.value(QStringLiteral("saveMessage")).toString();
    qInfo().noquote() << "at load:" << toldAtLoad << "| at save:" << toldAtSave;
    if (loadMessage.isEmpty())
        QVERIFY2(toldAtLoad.isEmpty(), qPrintable(toldAtLoad));
    else
        QVERIFY2(toldAtLoad.contains(loadMessage) && toldAtLoad.contains(file),
                 qPrintable(toldAtLoad));
    QCOMPARE(outcome.value(QStringLiteral("saved")).toBool(), saved);
    if (!saved)
        QVERIFY2(toldAtSave.contains(saveMessage) && toldAtSave.contains(file),
                 qPrintable(toldAtSave));

    // What the windows showed: all of it, where the fault left it readable.
    Entries shown;
    const QJsonObject shownObject = outcome.value(QStringLiteral("shown")).toObject();
    for (auto it = shownObject.begin(); it != shownObject.end(); ++it)
        shown.insert(it.key(), it.value().toString());
    if (allShown)
        QCOMPARE(shown, original());

    // Nothing shown is lost: every entry the windows read is still stored,
    // a failed save left the file exactly as it was, and a damaged file that
    // was saved over is kept aside as it was.
    settings::resetReadState();
    const Entries now = loadAll();
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        if (it.value() == settings::missingCaption)
            continue;  // could not be read
        const bool renamed = saved && it.key() == QStringLiteral("Form2/C1");
        QCOMPARE(now.value(it.key()), renamed ? edited : it.value());
    }
    if (!saved && fault != FileIsFolder)
        QCOMPARE(bytesOf(file), before);
    if (saved && !loadMessage.isEmpty())
        QCOMPARE(bytesOf(file + QStringLiteral(".bak")), before);

    // Nothing is left beside the store but the store and its copy.
    QStringList beside = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                QDir::NoDotAndDotDot);
    beside.removeAll(QStringLiteral("Tavelko.conf"));
    beside.removeAll(QStringLiteral("Tavelko.conf.bak"));
    beside.removeAll(QStringLiteral("filler"));
    if (fault == StaleLock)
        QVERIFY(beside.removeAll(QStringLiteral("Tavelko.conf.backup")) == 1);
    QVERIFY2(beside.isEmpty(), qPrintable(beside.join(u' ')));
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--act") == 0) {  // the run as another user
        std::fputs(QJsonDocument(act()).toJson().constData(), stdout);
        return 0;
    }
    TestStoreFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_store_faults.moc"
