#include "testsupport.h"

#include "settings/caption_store.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>
#include <QPointer>
#include <QTimer>

namespace testsupport {

QString storeFile()
{
    return settings::storeLocation();
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

void clearStore()
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavelko"),
                    QStringLiteral("Tavelko"));
    store.clear();
    store.sync();
    QFile::remove(store.fileName());
    QFile::remove(store.fileName() + QStringLiteral(".bak"));
    settings::resetReadState();
}

namespace {
// Answers armed by whenModal() that have not fired yet.
QList<QPointer<QTimer>> &pendingAnswers()
{
    static QList<QPointer<QTimer>> timers;
    return timers;
}
}  // namespace

void whenModal(std::function<void(QWidget *)> answer)
{
    // Poll until the dialog is up: exec() starts its own event loop.
    auto *timer = new QTimer;
    pendingAnswers().append(timer);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}

void answerInputBox(const QString &text, QString *seen)
{
    whenModal([text, seen](QWidget *dialog) {
        auto *box = qobject_cast<QInputDialog *>(dialog);
        if (!box) {
            dialog->close();
            return;
        }
        if (seen)
            *seen = box->textValue();
        box->setTextValue(text);
        box->accept();
    });
}

void cancelInputBox(QString *seen)
{
    whenModal([seen](QWidget *dialog) {
        if (auto *box = qobject_cast<QInputDialog *>(dialog); box && seen)
            *seen = box->textValue();
        static_cast<QDialog *>(dialog)->reject();
    });
}

void acceptMessageBox(QString *text)
{
    whenModal([text](QWidget *dialog) {
        if (auto *box = qobject_cast<QMessageBox *>(dialog); box && text)
            *text = box->text();
        if (auto *d = qobject_cast<QDialog *>(dialog))
            d->accept();
    });
}

void disarmModalAnswers()
{
    for (const QPointer<QTimer> &timer : std::as_const(pendingAnswers()))
        delete timer.data();
    pendingAnswers().clear();
}

ModalRecorder::ModalRecorder() : m_count(std::make_shared<int>(0)), m_timer(new QTimer)
{
    m_timer->setInterval(10);
    QObject::connect(m_timer, &QTimer::timeout, [count = m_count] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            ++*count;
            dialog->reject();
        }
    });
    m_timer->start();
}

ModalRecorder::~ModalRecorder()
{
    delete m_timer;
}

void settleQuitRequest()
{
    // exec() clears the pending request when it starts and when it returns.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

ModalWatch::ModalWatch(std::function<void(QWidget *)> answer) : m_timer(new QTimer)
{
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

std::function<void(QWidget *)> acceptingMessageBox(QString *text)
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

std::function<void(QWidget *)> confirmingInputBox(const QString &value, QString *opened,
                                                  QString *title, QString *prompt)
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
        box->setTextValue(value);
        box->accept();
    };
}

std::function<void(QWidget *)> cancellingInputBox(QString *opened)
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

}  // namespace testsupport
