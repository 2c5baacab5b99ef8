#include "testsupport.h"

#include "main_window/form2.h"
#include "settings/caption_store.h"
#include "sheets/order_sheet.h"
#include "shell/program.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace testsupport {

QString storeFile()
{
    return settings::storeLocation();
}

bool storeIsRegistry()
{
    return storeFile().startsWith(QLatin1String("\\HKEY_"));
}

QSettings openStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavelko"),
                     QStringLiteral("Tavelko"));
}

bool blockStore(bool fileIsFolder)
{
    const QString file = storeFile();
    if (fileIsFolder)
        return QDir().mkpath(file);
    const QString folder = QFileInfo(file).path();
    QDir(folder).removeRecursively();
    QFile blocker(folder);
    return blocker.open(QIODevice::WriteOnly) && blocker.write("not a folder") > 0;
}

void unblockStore()
{
    const QString file = storeFile();
    const QString folder = QFileInfo(file).path();
    if (QFileInfo(folder).isFile())
        QFile::remove(folder);
    if (QFileInfo(file).isDir())
        QDir(file).removeRecursively();
}

void addBlockedStoreRows()
{
    QTest::addColumn<bool>("fileIsFolder");
    QTest::newRow("settings file is a folder") << true;
    QTest::newRow("settings folder is a file") << false;
}

void clearStore()
{
    if (storeIsRegistry()) {
        QSettings store = openStore();
        store.clear();
        store.sync();
        settings::resetReadState();
        return;
    }
    // Removed as files: a QSettings clear() stays pending in Qt's
    // process-wide cache and would hide what the program writes later.
    const QFileInfo file(storeFile());
    const QDir folder(file.path());
    const QStringList names = folder.entryList({file.fileName() + u'*'},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        QFile::remove(folder.filePath(name));
    settings::resetReadState();
}

void settleQuitRequest()
{
    // exec() clears the pending request when it starts and when it returns.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

ModalWatch::ModalWatch(ModalAnswer answer) : m_timer(new QTimer)
{
    // Polled: exec() runs the dialog in an event loop of its own.
    m_timer->setInterval(10);
    QObject::connect(m_timer, &QTimer::timeout, [this, answer] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || dialog == m_last)
            return;
        m_last = dialog;
        ++m_count;
        answer(dialog);
    });
    m_timer->start();
}

ModalWatch::~ModalWatch()
{
    delete m_timer;
}

int answerModals(const ModalAnswer &answer, const std::function<void()> &action)
{
    ModalWatch watch(answer);
    action();
    return watch.count();
}

ModalAnswer acceptingMessageBox(QString *text)
{
    return [text](QWidget *dialog) {
        if (auto *box = qobject_cast<QMessageBox *>(dialog); box && text)
            *text = box->text();
        if (auto *d = qobject_cast<QDialog *>(dialog))
            d->accept();
        else
            dialog->close();
    };
}

ModalAnswer confirmingInputBox(const QString &value, QString *opened, QString *title,
                               QString *prompt, QStringList *buttons)
{
    return [=](QWidget *dialog) {
        auto *box = qobject_cast<QInputDialog *>(dialog);
        if (!box) {
            dialog->close();
            return;
        }
        if (opened)
            *opened = box->textValue();
        if (title)
            *title = box->windowTitle();
        if (prompt)
            *prompt = box->labelText();
        if (buttons) {
            buttons->clear();
            for (const QPushButton *b : box->findChildren<QPushButton *>())
                if (b->isVisible())
                    buttons->append(b->text());
            buttons->sort();
        }
        box->setTextValue(value);
        box->accept();
    };
}

ModalAnswer cancellingInputBox(QString *opened)
{
    return [opened](QWidget *dialog) {
        if (auto *box = qobject_cast<QInputDialog *>(dialog); box && opened)
            *opened = box->textValue();
        if (auto *d = qobject_cast<QDialog *>(dialog))
            d->reject();
        else
            dialog->close();
    };
}

void rightPress(QWidget *target, Qt::KeyboardModifiers modifiers)
{
    QTest::mousePress(target, Qt::RightButton, modifiers);
    QTest::mouseRelease(target, Qt::RightButton, modifiers);
}

QString mainText(const QString &label)
{
    return form2().label(label)->text();
}

void pressMain(const QString &button)
{
    QTest::mouseClick(form2().button(button), Qt::LeftButton);
}

OrderSheet &openCategory(int k)
{
    static const char *const categoryButtons[6] = {"C1", "C2", "C3", "c4", "c5", "c6"};
    form2().showForm();
    pressMain(QString::fromLatin1(categoryButtons[k - 1]));
    return orderSheet(k);
}

QString text(OrderSheet &sheet, const QString &label)
{
    return sheet.label(label)->text();
}

void set(OrderSheet &sheet, const QString &label, const QString &caption)
{
    settings::setEditedCaption(sheet.label(label), caption);
}

void press(OrderSheet &sheet, const QString &button, int times)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(sheet.button(button), Qt::LeftButton);
}

QString familiesFault(const QFont &font, const QStringList &designed)
{
    if (font.families().isEmpty())
        return QStringLiteral("no families");
    const QStringList known = QFontDatabase::families();
    qsizetype next = 0;  // where in `designed` the next family may come from
    for (const QString &family : font.families() + QStringList {QString()}) {
        // The empty family closes the list: nothing installed may follow.
        const qsizetype at = family.isEmpty() ? designed.size() : designed.indexOf(family, next);
        if (at < 0)
            return QStringLiteral("%1 is not designed there").arg(family);
        for (qsizetype skipped = next; skipped < at; ++skipped)
            if (known.contains(designed.at(skipped), Qt::CaseInsensitive))
                return QStringLiteral("%1 is installed but left out").arg(designed.at(skipped));
        next = at + 1;
    }
    QFont whole = font;
    whole.setFamilies(designed);
    if (QFontInfo(font).family() != QFontInfo(whole).family())
        return QStringLiteral("draws %1 where the whole list draws %2")
            .arg(QFontInfo(font).family(), QFontInfo(whole).family());
    return {};
}

#ifdef Q_OS_UNIX
void withFileSizeLimit(qint64 bytes, const std::function<void()> &action, bool programIgnoresSignal)
{
    // Past the limit a write fails with EFBIG instead of ending the process.
    std::signal(SIGXFSZ, programIgnoresSignal ? SIG_DFL : SIG_IGN);
    rlimit limit;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit before = limit;
    limit.rlim_cur = rlim_t(bytes);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    action();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &before), 0);
}
#endif

}  // namespace testsupport
