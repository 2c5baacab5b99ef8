// The caption settings store: captions saved and loaded verbatim under
// application "Tavelko", section = window name, key = control name; missing
// entries, controls of the wrong kind, and a store that cannot be read or
// written.

#include "settings/caption_store.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <memory>
#include <vector>

using namespace testsupport;
using settings::CaptionKind;
using settings::GetSettingEx;
using settings::SaveSettingEx;

namespace {

// Controls whose caption the user set (`edited`), as a save writes them.
std::unique_ptr<QLabel> makeLabel(const QString &name,
                                  const QString &caption = QStringLiteral("设计"))
{
    auto l = std::make_unique<QLabel>();
    l->setObjectName(name);
    settings::setEditedCaption(l.get(), caption);
    return l;
}

std::unique_ptr<QPushButton> makeButton(const QString &name,
                                        const QString &caption = QStringLiteral("设计"),
                                        bool edited = true)
{
    auto b = std::make_unique<QPushButton>(caption);
    b->setObjectName(name);
    if (edited)
        settings::setEditedCaption(b.get(), caption);
    return b;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString tenKilobytes()
{
    const QString piece = QStringLiteral("牛肉面 = 6; #[小份]\\ \"大\"\t8\r\n😀 ");
    QString text;
    while (text.size() < 10 * 1024)
        text += piece;
    return text;
}

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void init() { clearStore(); }
    void cleanup();

    void roundTripsCaptionsVerbatim_data();
    void roundTripsCaptionsVerbatim();
    void keepsWindowsInSeparateSections();
    void emptyStoreGivesOneSpace();
    void skipsControlsOfTheOtherKind();
    void replacesAnEarlierValue();
    void keepsWhatAnotherCopySaved();
    void reportsAFailedSave_data();
    void reportsAFailedSave();
    void damagedFileIsReadAsFarAsItGoesAndKeptAside();
};

void TestSettings::cleanup()
{
    unblockStore();
    QFile::remove(storeFile());
    clearStore();
}

void TestSettings::roundTripsCaptionsVerbatim_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("empty") << QString();
    QTest::newRow("one space") << QStringLiteral(" ");
    QTest::newRow("leading and trailing spaces") << QStringLiteral("  面条  ");
    QTest::newRow("equals") << QStringLiteral("=");
    QTest::newRow("semicolon") << QStringLiteral(";");
    QTest::newRow("hash") << QStringLiteral("#");
    QTest::newRow("brackets") << QStringLiteral("[");
    QTest::newRow("closing bracket") << QStringLiteral("]");
    QTest::newRow("section header") << QStringLiteral("[Form2]");
    QTest::newRow("backslash") << QStringLiteral("\\");
    QTest::newRow("path") << QStringLiteral("C:\\菜单\\n");
    QTest::newRow("quotes") << QStringLiteral("\"特价\" 'a' \"");
    QTest::newRow("comma") << QStringLiteral("6,8");
    QTest::newRow("tabs") << QStringLiteral("\t8.5\t");
    QTest::newRow("line break") << QStringLiteral("\r\n第二行\r\n");
    QTest::newRow("chinese") << QStringLiteral("包子 馒头");
    QTest::newRow("emoji") << QStringLiteral("🍜🥟");
    QTest::newRow("variant marker") << QStringLiteral("@Invalid()");
    QTest::newRow("variant syntax") << QStringLiteral("@Variant(\\0\\0\\0\\x7f)");
    QTest::newRow("nul inside") << QString::fromUtf16(u"a\0b", 3);
    QTest::newRow("10 KB") << tenKilobytes();
}

void TestSettings::roundTripsCaptionsVerbatim()
{
    QFETCH(QString, caption);

    auto price = makeLabel(QStringLiteral("l07"), caption);
    QVERIFY(SaveSettingEx(QStringLiteral("Form5"), {price.get()}, CaptionKind::Label));

    auto loaded = makeLabel(QStringLiteral("l07"));
    QVERIFY(GetSettingEx(QStringLiteral("Form5"), {loaded.get()}, CaptionKind::Label));
    QCOMPARE(loaded->text(), caption);

    // A second reader finds it under section Form5, key l07.
    QSettings store = openStore();
    QCOMPARE(store.value(QStringLiteral("Form5/l07")).toString(), caption);
    QCOMPARE(store.childGroups(), QStringList{QStringLiteral("Form5")});
}

void TestSettings::keepsWindowsInSeparateSections()
{
    auto noodles = makeLabel(QStringLiteral("Label1"), QStringLiteral("牛肉面"));
    auto stirFry = makeLabel(QStringLiteral("Label1"), QStringLiteral("宫保鸡丁"));
    QVERIFY(SaveSettingEx(QStringLiteral("Form3"), {noodles.get()}, CaptionKind::Label));
    QVERIFY(SaveSettingEx(QStringLiteral("Form4"), {stirFry.get()}, CaptionKind::Label));

    auto third = makeLabel(QStringLiteral("Label1"));
    auto fourth = makeLabel(QStringLiteral("Label1"));
    QVERIFY(GetSettingEx(QStringLiteral("Form3"), {third.get()}, CaptionKind::Label));
    QVERIFY(GetSettingEx(QStringLiteral("Form4"), {fourth.get()}, CaptionKind::Label));
    QCOMPARE(third->text(), QStringLiteral("牛肉面"));
    QCOMPARE(fourth->text(), QStringLiteral("宫保鸡丁"));

    // Keys keep the control's case: c4 and C1 are stored as named.
    auto c1 = makeButton(QStringLiteral("C1"), QStringLiteral("面条"));
    auto c4 = makeButton(QStringLiteral("c4"), QStringLiteral("饺子"));
    QVERIFY(
        SaveSettingEx(QStringLiteral("Form2"), {c1.get(), c4.get()}, CaptionKind::CommandButton));
    QSettings store = openStore();
    store.beginGroup(QStringLiteral("Form2"));
    QCOMPARE(store.childKeys(), (QStringList{QStringLiteral("C1"), QStringLiteral("c4")}));
    QCOMPARE(store.value(QStringLiteral("c4")).toString(), QStringLiteral("饺子"));
}

void TestSettings::emptyStoreGivesOneSpace()
{
    std::vector<std::unique_ptr<QPushButton>> buttons;
    QList<QWidget *> list;
    for (const char *name : {"C1", "C2", "C3", "c4", "c5", "c6"}) {
        buttons.push_back(makeButton(QString::fromLatin1(name), QStringLiteral("面条")));
        list.append(buttons.back().get());
    }
    QVERIFY(GetSettingEx(QStringLiteral("Form2"), list, CaptionKind::CommandButton));
    for (const auto &b : buttons)
        QCOMPARE(b->text(), QStringLiteral(" "));
    QVERIFY(settings::takeReadProblem().isEmpty());

    // Reading creates nothing.
    QVERIFY(storeIsRegistry() || !QFileInfo::exists(storeFile()));
}

void TestSettings::skipsControlsOfTheOtherKind()
{
    auto label = makeLabel(QStringLiteral("Label1"), QStringLiteral("标签"));
    auto button = makeButton(QStringLiteral("C1"), QStringLiteral("按钮"));

    // Saving: only the window's kind reaches the store.
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), {label.get(), button.get()},
                          CaptionKind::CommandButton));
    QVERIFY(
        SaveSettingEx(QStringLiteral("Form3"), {label.get(), button.get()}, CaptionKind::Label));
    QSettings store = openStore();
    QCOMPARE(store.allKeys(),
             (QStringList{QStringLiteral("Form2/C1"), QStringLiteral("Form3/Label1")}));

    // Loading: a control of the other kind keeps its caption, even where the
    // store has an entry of its name.
    settings::setEditedCaption(label.get(), QStringLiteral("未变"));
    settings::setEditedCaption(button.get(), QStringLiteral("未变"));
    store.setValue(QStringLiteral("Form2/Label1"), QStringLiteral("错"));
    store.setValue(QStringLiteral("Form3/C1"), QStringLiteral("错"));
    store.sync();
    QVERIFY(GetSettingEx(QStringLiteral("Form2"), {label.get(), button.get()},
                         CaptionKind::CommandButton));
    QCOMPARE(label->text(), QStringLiteral("未变"));
    QCOMPARE(button->text(), QStringLiteral("按钮"));
    settings::setEditedCaption(button.get(), QStringLiteral("未变"));
    QVERIFY(GetSettingEx(QStringLiteral("Form3"), {label.get(), button.get()}, CaptionKind::Label));
    QCOMPARE(label->text(), QStringLiteral("标签"));
    QCOMPARE(button->text(), QStringLiteral("未变"));
}

void TestSettings::replacesAnEarlierValue()
{
    auto button = makeButton(QStringLiteral("C2"), QStringLiteral("小炒"));
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), {button.get()}, CaptionKind::CommandButton));
    settings::setEditedCaption(button.get(), QString());
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), {button.get()}, CaptionKind::CommandButton));
    settings::setEditedCaption(button.get(), QStringLiteral("x"));
    QVERIFY(GetSettingEx(QStringLiteral("Form2"), {button.get()}, CaptionKind::CommandButton));
    QCOMPARE(button->text(), QString());  // stored empty, not the missing " "
}

// Another copy of the program (a second login) saves between this one's load
// and save: only this window's edits go over its entries, an edit back to the
// text shown included, and only at the first save after the edit.
void TestSettings::keepsWhatAnotherCopySaved()
{
    auto c1 = makeButton(QStringLiteral("C1"), QStringLiteral("面条"));
    auto c2 = makeButton(QStringLiteral("C2"), QStringLiteral("小炒"));
    const QList<QWidget *> window{c1.get(), c2.get()};
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), window, CaptionKind::CommandButton));
    QVERIFY(GetSettingEx(QStringLiteral("Form2"), window, CaptionKind::CommandButton));
    settings::setEditedCaption(c1.get(), QStringLiteral("米饭"));
    settings::setEditedCaption(c1.get(), QStringLiteral("面条"));
    {
        QSettings other = openStore();
        other.setValue(QStringLiteral("Form2/C1"), QStringLiteral("别人的面条"));
        other.setValue(QStringLiteral("Form2/C2"), QStringLiteral("别人的小炒"));
    }
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), window, CaptionKind::CommandButton));
    QCOMPARE(openStore().value(QStringLiteral("Form2/C1")).toString(), QStringLiteral("面条"));

    openStore().setValue(QStringLiteral("Form2/C1"), QStringLiteral("别人的米饭"));
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), window, CaptionKind::CommandButton));
    QVERIFY(GetSettingEx(QStringLiteral("Form2"), window, CaptionKind::CommandButton));
    QCOMPARE(c1->text(), QStringLiteral("别人的米饭"));
    QCOMPARE(c2->text(), QStringLiteral("别人的小炒"));
}

void TestSettings::reportsAFailedSave_data()
{
    addBlockedStoreRows();
}

void TestSettings::reportsAFailedSave()
{
    QFETCH(bool, fileIsFolder);
    if (storeIsRegistry())
        QSKIP("the registry has no file or folder to put in the way");
    const QString file = storeFile();
    QVERIFY(blockStore(fileIsFolder));

    // A folder in the file's place cannot be read either (an access error);
    // a missing folder reads as an empty store.
    auto button = makeButton(QStringLiteral("C1"), QStringLiteral("面条"));
    QCOMPARE(GetSettingEx(QStringLiteral("Form2"), {button.get()}, CaptionKind::CommandButton),
             !fileIsFolder);
    QCOMPARE(button->text(), QStringLiteral(" "));
    QCOMPARE(settings::takeReadProblem().contains(file), fileIsFolder);

    settings::setEditedCaption(button.get(), QStringLiteral("面条"));
    QVERIFY(!SaveSettingEx(QStringLiteral("Form2"), {button.get()}, CaptionKind::CommandButton));
    QCOMPARE(button->text(), QStringLiteral("面条"));
    if (fileIsFolder)  // it could not be copied aside, so it is not replaced
        QVERIFY(QFileInfo(file).isDir());
    else
        QCOMPARE(readFile(QFileInfo(file).path()), QByteArray("not a folder"));
    if (!fileIsFolder)
        return;

    // Once the store can be read again, the window's edit is saved, but no
    // blank it showed in place of an entry the store holds.
    unblockStore();
    writeFile(file, "[Form2]\nC1=旧\nC2=小炒\n");
    auto blank = makeButton(QStringLiteral("C2"), settings::missingCaption, false);
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), {button.get(), blank.get()},
                          CaptionKind::CommandButton));
    QVERIFY(GetSettingEx(QStringLiteral("Form2"), {button.get(), blank.get()},
                         CaptionKind::CommandButton));
    QCOMPARE(button->text(), QStringLiteral("面条"));
    QCOMPARE(blank->text(), QStringLiteral("小炒"));
}

void TestSettings::damagedFileIsReadAsFarAsItGoesAndKeptAside()
{
    // Qt's INI reader rejects a section header without its "]", but the
    // entries around it are still there to be read.
    if (storeIsRegistry())
        QSKIP("the registry has no file to damage");
    const QString file = storeFile();
    const QByteArray broken = "[Form3]\nLabel1=牛肉面\n[Form2\nC1=面条\n";
    writeFile(file, broken);

    auto c1 = makeButton(QStringLiteral("C1"), QStringLiteral("设计"));
    QVERIFY(!GetSettingEx(QStringLiteral("Form2"), {c1.get()}, CaptionKind::CommandButton));
    QCOMPARE(c1->text(), QStringLiteral("面条"));
    const QString problem = settings::takeReadProblem();
    QVERIFY(problem.contains(file));
    QVERIFY(problem.contains(file + QStringLiteral(".bak")));

    // Another window loading the same file reads its part too, and the user
    // is not told a second time.
    auto dish = makeLabel(QStringLiteral("Label1"));
    QVERIFY(!GetSettingEx(QStringLiteral("Form3"), {dish.get()}, CaptionKind::Label));
    QCOMPARE(dish->text(), QStringLiteral("牛肉面"));
    QVERIFY(settings::takeReadProblem().isEmpty());
    QCOMPARE(readFile(file), broken);  // reading changes nothing

    // The next save keeps the old file aside, then writes a readable store
    // that keeps the other window's entries.
    settings::setEditedCaption(c1.get(), QStringLiteral("米饭"));
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), {c1.get()}, CaptionKind::CommandButton));
    QCOMPARE(readFile(file + QStringLiteral(".bak")), broken);
    {
        QSettings store = openStore();
        QCOMPARE(store.value(QStringLiteral("Form2/C1")).toString(), QStringLiteral("米饭"));
        QCOMPARE(store.value(QStringLiteral("Form3/Label1")).toString(), QStringLiteral("牛肉面"));
    }

    // Later saves leave the copy alone, and loads read the new store.
    settings::setEditedCaption(c1.get(), QStringLiteral("面饭"));
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), {c1.get()}, CaptionKind::CommandButton));
    QCOMPARE(readFile(file + QStringLiteral(".bak")), broken);
    auto again = makeButton(QStringLiteral("C1"));
    QVERIFY(GetSettingEx(QStringLiteral("Form2"), {again.get()}, CaptionKind::CommandButton));
    QCOMPARE(again->text(), QStringLiteral("面饭"));
    QVERIFY(settings::takeReadProblem().isEmpty());

    // A file damaged again is kept under the next number, never over the
    // first copy.
    const QByteArray brokenAgain = "[Form2]\nC1=粥\n[Form3\n";
    writeFile(file, brokenAgain);
    QVERIFY(SaveSettingEx(QStringLiteral("Form2"), {c1.get()}, CaptionKind::CommandButton));
    QCOMPARE(readFile(file + QStringLiteral(".bak")), broken);
    QCOMPARE(readFile(file + QStringLiteral(".bak.2")), brokenAgain);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
