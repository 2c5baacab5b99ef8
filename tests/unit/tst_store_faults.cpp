// The settings store against a failing disk, a damaged file and a run that
// ended abruptly: for each fault, the message the user is shown, and that no
// entry that could be read before is lost. Root ignores file modes, so the
// cases that rest on one run as "nobody" (setpriv, on a copy of this program)
// on a store handed to that user; the full disk is a small tmpfs.

#include "settings/caption_store.h"
#include "testsupport.h"

#include <QApplication>
#include <QDataStream>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

enum Fault { ReadOnlyFile, ReadOnlyFolder, Unreadable, FileIsFolder, DiskFull, Utf16, Random, Bom,
             BadHeader, StaleLock, Pipe };
const QString edited = QStringLiteral("新面条");

QByteArray iniText()
{
    QByteArray text = "[Form2]\nC1=面条\nC2=小炒\nC3=包子 馒头\nc4=饺子\nc5=米饭\nc6=凉菜\n";
    for (int form = 3; form <= 8; ++form)
        text += QStringLiteral("[Form%1]\nLabel1=牛肉面%1\nLabel2=拉 面%1\nl01=%1.5\nl02=1%1\n")
                    .arg(form)
                    .toUtf8();
    return text;
}

QByteArray contentFor(Fault fault)
{
    QByteArray bytes = iniText();
    if (fault == Utf16)
        return QStringEncoder(QStringEncoder::Utf16LE,
                              QStringEncoder::Flag::WriteBom)(QString::fromUtf8(bytes));
    QRandomGenerator random(11);
    if (fault == Random)
        for (char &byte : bytes)
            byte = char(random.bounded(256));
    if (fault == Bom)
        bytes.prepend("\xEF\xBB\xBF");
    if (fault == BadHeader)
        bytes.replace("[Form4]", "[Form4");
    return bytes;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What every window shows after its load: "Section/key" -> caption. The main
// window's buttons go to `mainButtons` if asked for.
QVariantMap loadAll(QList<QWidget *> *mainButtons = nullptr)
{
    QVariantMap shown;
    for (int form = 2; form <= 8; ++form) {
        const QString section = QStringLiteral("Form%1").arg(form);
        QList<QWidget *> controls;
        for (const QString &key : (form == 2 ? QStringList{"C1", "C2", "C3", "c4", "c5", "c6"}
                                             : QStringList{"Label1", "Label2", "l01", "l02"})) {
            controls.append(form == 2 ? static_cast<QWidget *>(new QPushButton) : new QLabel);
            controls.last()->setObjectName(key);
        }
        settings::GetSettingEx(section, controls,
                               form == 2 ? settings::CaptionKind::CommandButton
                                         : settings::CaptionKind::Label);
        for (QWidget *control : controls)
            shown.insert(section + u'/' + control->objectName(), control->property("text"));
        if (form == 2 && mainButtons)
            *mainButtons = controls;
        else
            qDeleteAll(controls);
    }
    return shown;
}

// One run of the program: every window loads, then a category is renamed and
// the main window's "关闭" saves.
QVariantMap act()
{
    settings::resetReadState();
    QList<QWidget *> buttons;
    QVariantMap outcome{{QStringLiteral("shown"), loadAll(&buttons)},
                        {QStringLiteral("atLoad"), settings::takeReadProblem()}};
    buttons.first()->setProperty("text", edited);
    const bool saved = settings::SaveSettingEx(QStringLiteral("Form2"), buttons,
                                               settings::CaptionKind::CommandButton);
    qDeleteAll(buttons);
    outcome.insert(QStringLiteral("saved"), saved);
    outcome.insert(QStringLiteral("atSave"),
                   saved ? QString() : settings::saveFailureMessage(QStringLiteral("类别名称")));
    return outcome;
}

// act() as the user "nobody"; empty when that cannot be done (`why` says why).
QVariantMap actAsNobody(QString *why)
{
    QTemporaryDir dir;
    const QString copy = dir.path() + QStringLiteral("/tst_store_faults");
    QProcess child;
    if (dir.isValid() && ::chmod(QFile::encodeName(dir.path()), 0755) == 0 &&
        QFile::copy(QCoreApplication::applicationFilePath(), copy)) {
        child.start(QStringLiteral("setpriv"),
                    {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                     QStringLiteral("--clear-groups"), copy, QStringLiteral("--act")});
        if (child.waitForFinished(60000) && child.exitCode() == 0) {
            QVariantMap outcome;
            QDataStream in(child.readAllStandardOutput());
            in >> outcome;
            return outcome;
        }
    }
    *why = QStringLiteral("cannot run the test as the user nobody: ") + child.errorString() +
        QString::fromLocal8Bit(child.readAllStandardError());
    return {};
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
    ::chmod(QFile::encodeName(QFileInfo(storeFile()).path()), 0755);
    if (!m_mounted.isEmpty())
        QProcess::execute(QStringLiteral("umount"), {m_mounted});
    m_mounted.clear();
    QDir(storeFile()).removeRecursively();  // when it is a folder
    QFile::remove(storeFile());              // when it is a pipe
    QFile::setPermissions(storeFile(), QFile::ReadOwner | QFile::WriteOwner);
    clearStore();
}

void TestStoreFaults::faultMatrix_data()
{
    // What the user is told at load and at a failed save (parts of the
    // messages), whether the save goes through, and whether every entry of
    // the store before the fault shows.
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("atLoad");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("atSave");
    QTest::addColumn<bool>("allShown");
    const QString none;
    const QString inFolder = QStringLiteral("设置文件的位置上是一个文件夹");
    QTest::newRow("read-only file")
        << int(ReadOnlyFile) << none << false << QStringLiteral("设置文件是只读的") << true;
    QTest::newRow("read-only folder")
        << int(ReadOnlyFolder) << none << false << QStringLiteral("设置文件夹不可写") << true;
    QTest::newRow("unreadable file") << int(Unreadable) << QStringLiteral("没有读取权限") << false
                                     << QStringLiteral("为免覆盖其中的内容") << false;
    QTest::newRow("file is a folder")
        << int(FileIsFolder) << inFolder << false << inFolder << false;
    QTest::newRow("disk full") << int(DiskFull) << none << false << QStringLiteral("磁盘空间不足")
                               << true;
    QTest::newRow("UTF-16") << int(Utf16) << QStringLiteral("UTF-16 编码") << true << none << true;
    QTest::newRow("random bytes") << int(Random) << QStringLiteral("设置文件已损坏") << true << none
                                  << false;
    QTest::newRow("UTF-8 byte-order mark") << int(Bom) << none << true << none << true;
    QTest::newRow("header without ]")
        << int(BadHeader) << QStringLiteral("有无法识别的行") << true << none << true;
    QTest::newRow("stale empty lock") << int(StaleLock) << none << true << none << true;
    QTest::newRow("file is a pipe") << int(Pipe) << QStringLiteral("不是普通文件") << false
                                    << QStringLiteral("为免覆盖其中的内容") << false;
}

void TestStoreFaults::faultMatrix()
{
    QFETCH(int, fault);
    QFETCH(QString, atLoad);
    QFETCH(bool, saved);
    QFETCH(QString, atSave);
    QFETCH(bool, allShown);
    const QString file = storeFile(), folder = QFileInfo(file).path();
    QVERIFY(QDir().mkpath(folder));
    const QByteArray clean = iniText(), before = contentFor(Fault(fault));
    {
        QFile store(file);
        QVERIFY(store.open(QIODevice::WriteOnly) && store.write(clean) == clean.size());
    }
    const QVariantMap original = loadAll();

    if (fault == DiskFull) {
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=64k"), QStringLiteral("tmpfs"), folder}) != 0)
            QSKIP("this machine does not let the test mount a tmpfs (mount failed)");
        m_mounted = folder;
    }
    if (fault == FileIsFolder) {
        QVERIFY(QFile::remove(file) && QDir().mkpath(file));
    } else if (fault == Pipe) {  // opening it would wait for a writer
        QVERIFY(QFile::remove(file) && ::mkfifo(QFile::encodeName(file), 0644) == 0);
    } else {
        QFile store(file);
        QVERIFY(store.open(QIODevice::WriteOnly) && store.write(before) == before.size());
    }
    if (fault == DiskFull) {  // filled up
        QFile filler(folder + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(1024, 'x')) == 1024) { }
    }
    if (fault == StaleLock)  // what a killed run leaves, and a file of the user's own
        for (const char *name : {".lock", ".Ab12Cd", ".backup"})
            QVERIFY(QFile(file + QLatin1String(name)).open(QIODevice::WriteOnly));

    QString why;
    const bool byMode = fault == ReadOnlyFile || fault == ReadOnlyFolder || fault == Unreadable;
    const QByteArray modePath = QFile::encodeName(fault == ReadOnlyFolder ? folder : file);
    if (byMode && ::geteuid() == 0)
        QVERIFY(::chown(QFile::encodeName(folder), 65534, 65534) == 0 &&
                ::chown(QFile::encodeName(file), 65534, 65534) == 0);
    const mode_t faultMode[] = {0444, 0555, 0000};  // ReadOnlyFile, ReadOnlyFolder, Unreadable
    if (byMode)
        QVERIFY(::chmod(modePath, faultMode[fault]) == 0);
    const QVariantMap outcome = byMode && ::geteuid() == 0 ? actAsNobody(&why) : act();
    if (outcome.isEmpty())
        QSKIP(qPrintable(why));
    if (byMode)
        ::chmod(modePath, fault == ReadOnlyFolder ? 0755 : 0644);

    const QString toldAtLoad = outcome.value(QStringLiteral("atLoad")).toString();
    const QString toldAtSave = outcome.value(QStringLiteral("atSave")).toString();
    qInfo().noquote() << "at load:" << toldAtLoad << "| at save:" << toldAtSave;
    QVERIFY2(atLoad.isEmpty() ? toldAtLoad.isEmpty()
                              : toldAtLoad.contains(atLoad) && toldAtLoad.contains(file),
             qPrintable(toldAtLoad));
    QCOMPARE(outcome.value(QStringLiteral("saved")).toBool(), saved);
    QVERIFY2(saved || (toldAtSave.contains(atSave) && toldAtSave.contains(file)),
             qPrintable(toldAtSave));
    const QVariantMap shown = outcome.value(QStringLiteral("shown")).toMap();
    if (allShown)
        QCOMPARE(shown, original);

    // Nothing shown is lost; a failed save leaves the file as it was; a
    // damaged file saved over is kept aside as it was.
    settings::resetReadState();
    const QVariantMap now = loadAll();
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
        if (it.value() != settings::missingCaption)
            QCOMPARE(now.value(it.key()),
                     saved && it.key() == QStringLiteral("Form2/C1") ? edited : it.value());
    if (!saved && fault != FileIsFolder && fault != Pipe)
        QCOMPARE(bytesOf(file), before);
    if (saved && !atLoad.isEmpty())
        QCOMPARE(bytesOf(file + QStringLiteral(".bak")), before);

    // Beside the store lie only its copy and what is not the program's.
    QStringList beside =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const char *kept : {"Tavelko.conf", "Tavelko.conf.bak", "filler"})
        beside.removeAll(QLatin1String(kept));
    QCOMPARE(beside,
             fault == StaleLock ? QStringList{QStringLiteral("Tavelko.conf.backup")}
                                : QStringList());
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--act") == 0) {  // the run as another user
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly))
            return 1;
        QDataStream stream(&out);
        stream << act();
        return 0;
    }
    TestStoreFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_store_faults.moc"
