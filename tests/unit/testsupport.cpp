#include "testsupport.h"

#include "settings/caption_store.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

namespace testsupport {

QString storeFile()
{
    return settings::storeLocation();
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

void whenModal(std::function<void(QWidget *)> answer)
{
    // Poll until the dialog is up: exec() starts its own event loop.
    auto *timer = new QTimer;
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

}  // namespace testsupport
