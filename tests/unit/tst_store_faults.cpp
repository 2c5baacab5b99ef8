// The settings store against a failing disk, a damaged file and a run that
// ended abruptly, another copy of the program saving meanwhile: for each
// fault, the message the user is shown, and that no entry that could be read
// before is lost. Root ignores file modes, so the cases that rest on one run
// as "nobody" (setpriv, on a copy of this program) on a store handed to that
// user; the full disk is a small tmpfs. A run starts in a process of its own
// where the fault would hold it (a pipe) or is watched (strace).

#include "settings/caption_store.h"
#include "settings/store_backend.h"
#include "testsupport.h"

#include <QApplication>
#include <QDataStream>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

enum Fault { ReadOnlyFile, ReadOnlyFolder, Unreadable, FileIsFolder, DiskFull, Utf16, Random, Bom,
             BadHeader, StaleLock, LinkedStaleLock, Pipe, ReadOnlyForRoot, Dangling, TwinSections, EditedBack,
             BadReadBack, Synced };
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
    if (fault == TwinSections) {  // c4 to c6 in a second [Form2]; its C2 wins
        bytes.replace("C2=小炒", "C2=旧的");
        bytes.replace("c4=饺子\nc5=米饭\nc6=凉菜\n", "");
        bytes += "[Form2]\nC2=小炒\nc4=饺子\nc5=米饭\nc6=凉菜\n";
    }
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

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

// One run of the program: every window loads, `C1` is renamed to `caption`
// (edited to something else first, when that is what it showed), `meanwhile`
// runs, and the main window's "关闭" saves.
QVariantMap act(const QString &caption = edited, const std::function<void()> &meanwhile = {})
{
    settings::resetReadState();
    QList<QWidget *> buttons;
    QVariantMap outcome{{QStringLiteral("shown"), loadAll(&buttons)},
                        {QStringLiteral("atLoad"), settings::takeReadProblem()}};
    settings::setEditedCaption(buttons.first(), QStringLiteral("别的"));
    settings::setEditedCaption(buttons.first(), caption);
    if (meanwhile)
        meanwhile();
    const bool saved = settings::SaveSettingEx(QStringLiteral("Form2"), buttons,
                                               settings::CaptionKind::CommandButton);
    qDeleteAll(buttons);
    outcome.insert(QStringLiteral("saved"), saved);
    outcome.insert(QStringLiteral("atSave"),
                   saved ? QString() : settings::saveFailureMessage(QStringLiteral("类别名称")));
    return outcome;
}

// act() in a process of its own, started through `runner` (a command and
// its arguments, before this program's), e.g. as the user "nobody"; empty
// when it did not finish (`why` says why). Its standard error to `errors`.
QVariantMap actInChild(const QStringList &runner, QString *why, QByteArray *errors = nullptr)
{
    QTemporaryDir dir;
    const QString copy = dir.path() + QStringLiteral("/tst_store_faults");
    QProcess child;
    if (dir.isValid() && ::chmod(QFile::encodeName(dir.path()), 0755) == 0 &&
        QFile::copy(QCoreApplication::applicationFilePath(), copy)) {
        QStringList command = runner;
        command << copy << QStringLiteral("--act");
        child.start(command.takeFirst(), command);
        const bool finished = child.waitForFinished(60000);
        if (errors)
            *errors = child.readAllStandardError();
        if (finished && child.exitCode() == 0) {
            QVariantMap outcome;
            QDataStream in(child.readAllStandardOutput());
            in >> outcome;
            return outcome;
        }
        child.kill();
        child.waitForFinished();
    }
    *why = QStringLiteral("the run in a process of its own (%1) did not finish: %2 %3")
               .arg(runner.join(u' '), child.errorString(),
                    QString::fromLocal8Bit(child.readAllStandardError()));
    return {};
}

// The program's leftovers of a killed run, and the user's own files of
// like names, beside the store.
const QStringList leftovers{QStringLiteral(".lock"), QStringLiteral(".tavelko-tmp-Ab12Cd"),
                            QStringLiteral(".tavelko-tmp-qdkdwg")};
const QStringList usersOwn{QStringLiteral(".202412"), QStringLiteral(".Backup"),
                           QStringLiteral(".old123"), QStringLiteral(".SAVED1"),
                           QStringLiteral(".backup"), QStringLiteral(".lock.old")};
// The working folder of a copy of the program saving right now.
const QString inUse = QStringLiteral(".tavelko-tmp-InUse1");

}  // namespace

class TestStoreFaults : public QObject {
    Q_OBJECT

private slots:
    // A killed run may have left any of its faults behind: cleared first.
    void init() { cleanup(); }
    void cleanup();
    void faultMatrix_data();
    void faultMatrix();
};

void TestStoreFaults::cleanup()
{
    const QString file = storeFile(), folder = QFileInfo(file).path();
    settings::backend::afterReplace = nullptr;
    ::chmod(QFile::encodeName(folder), 0755);
    if (QStorageInfo(folder).rootPath() == folder)  // the full disk
        QProcess::execute(QStringLiteral("umount"), {folder});
    QDir(file).removeRecursively();  // when it is a folder
    ::unlink(QFile::encodeName(file));  // when it is a pipe or a link
    QDir(folder + QStringLiteral("/elsewhere")).removeRecursively();
    for (const QString &name : leftovers + QStringList{inUse})
        QDir(file + name).removeRecursively();
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
    const QString readOnly = QStringLiteral("设置文件是只读的");
    QTest::newRow("read-only file") << int(ReadOnlyFile) << none << false << readOnly << true;
    QTest::newRow("read-only file, for root too")
        << int(ReadOnlyForRoot) << none << false << readOnly << true;
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
    QTest::newRow("two sections of one name")
        << int(TwinSections) << QStringLiteral("有重复的段落 [Form2]") << true << none << true;
    QTest::newRow("leftovers of a killed run") << int(StaleLock) << none << true << none << true;
    QTest::newRow("leftovers of a killed run where a linked store lies")
        << int(LinkedStaleLock) << none << true << none << true;
    QTest::newRow("file is a pipe, from the start")
        << int(Pipe) << QStringLiteral("不是普通文件") << false
        << QStringLiteral("为免覆盖其中的内容") << false;
    QTest::newRow("link to a missing file")
        << int(Dangling) << QStringLiteral("指向的文件不存在") << true << none << false;
    QTest::newRow("edited back while another copy saved")
        << int(EditedBack) << none << true << none << true;
    QTest::newRow("reads back wrong once in place")
        << int(BadReadBack) << none << false << QStringLiteral("替换后读回") << true;
    QTest::newRow("on the disk before it replaces the old")
        << int(Synced) << none << true << none << true;
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
    }
    const QString target = folder + QStringLiteral("/elsewhere/Tavelko.conf");
    if (fault == FileIsFolder) {
        QVERIFY(QFile::remove(file) && QDir().mkpath(file));
    } else if (fault == Pipe) {  // opening it would wait for a writer
        QVERIFY(QFile::remove(file) && ::mkfifo(QFile::encodeName(file), 0644) == 0);
    } else if (fault == Dangling) {
        QVERIFY(QFile::remove(file) && QFile::link(target, file));
    } else if (fault == LinkedStaleLock) {
        QVERIFY(QDir().mkpath(QFileInfo(target).path()) && QFile::rename(file, target) &&
                QFile::link(target, file));
    } else {
        QFile store(file);
        QVERIFY(store.open(QIODevice::WriteOnly) && store.write(before) == before.size());
    }
    const mode_t mode = fault == ReadOnlyForRoot ? 0444 : 0640;  // a save keeps it
    if (QFileInfo(file).isFile())
        QVERIFY(::chmod(QFile::encodeName(file), mode) == 0);
    if (fault == DiskFull) {  // filled up
        QFile filler(folder + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(1024, 'x')) == 1024) { }
    }
    int held = -1;  // the lock of a copy saving right now
    const auto release = qScopeGuard([&] {
        if (held >= 0)
            ::close(held);
    });
    // The store's own file, where its leftovers lie.
    const QString real = fault == LinkedStaleLock ? target : file;
    const bool stale = fault == StaleLock || fault == LinkedStaleLock;
    if (stale) {
        for (const QString &name : usersOwn + leftovers.mid(0, 1))
            QVERIFY(QFile(real + name).open(QIODevice::WriteOnly));
        for (const QString &name : leftovers.mid(1) + QStringList{inUse})
            QVERIFY(QDir().mkpath(real + name + QStringLiteral("/sub")));
        held = ::open(QFile::encodeName(real + inUse), O_RDONLY | O_DIRECTORY);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
    }
    if (fault == BadReadBack)
        settings::backend::afterReplace = [](const QString &replaced) {
            writeBytes(replaced, "[Form2]\nC1=坏\n");
        };

    QString why;
    QByteArray trace;
    const bool byMode = fault == ReadOnlyFile || fault == ReadOnlyFolder || fault == Unreadable;
    const QByteArray modePath = QFile::encodeName(fault == ReadOnlyFolder ? folder : file);
    if (byMode && ::geteuid() == 0)
        QVERIFY(::chown(QFile::encodeName(folder), 65534, 65534) == 0 &&
                ::chown(QFile::encodeName(file), 65534, 65534) == 0);
    const mode_t faultMode[] = {0444, 0555, 0000};  // ReadOnlyFile, ReadOnlyFolder, Unreadable
    if (byMode)
        QVERIFY(::chmod(modePath, faultMode[fault]) == 0);
    const QString caption = fault == EditedBack ? original.value("Form2/C1").toString() : edited;
    const auto anotherCopySaves = [&] {
        writeBytes(file, QByteArray(clean)
                             .replace("C1=面条", "C1=别人的面条")
                             .replace("C2=小炒", "C2=别人的小炒"));
    };
    QVariantMap outcome;
    if (byMode && ::geteuid() == 0)
        outcome = actInChild({QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                              QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")},
                             &why);
    else if (fault == Pipe)
        outcome = actInChild({}, &why);
    else if (fault == Synced)
        outcome = actInChild({QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-qq"),
                              QStringLiteral("-y"),
                              QStringLiteral("-etrace=fsync,fdatasync,rename,renameat,renameat2")},
                             &why, &trace);
    else
        outcome = act(caption, fault == EditedBack ? anotherCopySaves : std::function<void()>());
    if (outcome.isEmpty() && fault == Pipe)
        QFAIL(qPrintable(why));  // held by the pipe
    if (outcome.isEmpty())
        QSKIP(qPrintable(why));
    if (byMode)
        ::chmod(modePath, fault == ReadOnlyFolder ? 0755 : mode);

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

    // Nothing shown is lost, nor what another copy saved meanwhile; a save
    // writes the edit; a failed save leaves the file as it was; a damaged
    // file saved over is kept aside as it was.
    settings::resetReadState();
    settings::backend::afterReplace = nullptr;
    const QVariantMap now = loadAll();
    QVariantMap expected;
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
        if (it.value() != settings::missingCaption)
            expected.insert(it.key(), it.value());
    if (fault == EditedBack)
        expected.insert(QStringLiteral("Form2/C2"), QStringLiteral("别人的小炒"));
    if (saved)
        expected.insert(QStringLiteral("Form2/C1"), caption);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(now.value(it.key()), it.value());
    if (!saved && fault != FileIsFolder && fault != Pipe)
        QCOMPARE(bytesOf(file), before);
    if (saved && !atLoad.isEmpty() && fault != Dangling)
        QCOMPARE(bytesOf(file + QStringLiteral(".bak")), before);
    if (fault == Dangling)  // the link stays; the file it points at is made
        QVERIFY(QFileInfo(file).isSymLink() && QFileInfo(target).isFile());
    struct stat status;
    if (!byMode && ::lstat(QFile::encodeName(file), &status) == 0 && S_ISREG(status.st_mode))
        QCOMPARE(status.st_mode & 07777, mode);
    if (fault == Synced) {  // the new store is on the disk before it replaces the old
        const QString log = QString::fromLocal8Bit(trace);
        const QRegularExpressionMatch renamed =
            QRegularExpression(QStringLiteral("\"([^\"]+)\", (AT_FDCWD[^,]*, )?\"%1\"")
                                   .arg(QRegularExpression::escape(file)))
                .match(log);
        QVERIFY2(renamed.hasMatch() && log.left(renamed.capturedStart())
                                           .contains(u'<' + renamed.captured(1) + u'>'),
                 qPrintable(log));
    }

    // Beside the store lie only its copy and what is not the program's.
    QStringList beside =
        QDir(QFileInfo(real).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const char *kept : {"Tavelko.conf", "Tavelko.conf.bak", "filler", "elsewhere"})
        beside.removeAll(QLatin1String(kept));
    QStringList left;
    if (stale)
        for (const QString &name : usersOwn + QStringList{inUse})
            left.append(QStringLiteral("Tavelko.conf") + name);
    left.sort();
    beside.sort();
    QCOMPARE(beside.join(u' '), left.join(u' '));
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
