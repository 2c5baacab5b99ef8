#include "settings/caption_store.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

namespace settings {

namespace {

struct ReadState {
    bool unreadable = false;  // the last read found a broken or unreadable file
    bool told = false;        // the user has been told about it
};

ReadState &readState()
{
    static ReadState state;
    return state;
}

QSettings openStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavelko"),
                     QStringLiteral("Tavelko"));
}

bool isOfKind(QWidget *control, CaptionKind kind)
{
    if (kind == CaptionKind::CommandButton)
        return qobject_cast<QPushButton *>(control) != nullptr;
    return qobject_cast<QLabel *>(control) != nullptr;
}

QString captionOf(QWidget *control)
{
    if (auto *button = qobject_cast<QPushButton *>(control))
        return button->text();
    return static_cast<QLabel *>(control)->text();
}

void setCaption(QWidget *control, const QString &text)
{
    if (auto *button = qobject_cast<QPushButton *>(control))
        button->setText(text);
    else
        static_cast<QLabel *>(control)->setText(text);
}

QString keyOf(const QString &section, QWidget *control)
{
    return section + u'/' + control->objectName();
}

// Copies a file the store cannot read to "<file>.bak".
bool keepUnreadableFile(const QString &file)
{
    const QString backup = file + QStringLiteral(".bak");
    QFile::remove(backup);
    return QFile::copy(file, backup);
}

}  // namespace

QString storeLocation()
{
    return openStore().fileName();
}

bool GetSettingEx(const QString &section, const QList<QWidget *> &controls, CaptionKind kind)
{
    QSettings store = openStore();
    // Qt keeps a parsed file for the whole process and reports a format error
    // only to the first reader, so a broken file stays broken for every later
    // load until a save has replaced it.
    const bool readable = store.status() == QSettings::NoError && !readState().unreadable;
    if (!readable)
        readState().unreadable = true;
    for (QWidget *control : controls) {
        if (!isOfKind(control, kind))
            continue;
        const QVariant value = readable ? store.value(keyOf(section, control), missingCaption)
                                        : QVariant(missingCaption);
        setCaption(control, value.toString());
    }
    return readable;
}

// A file the store cannot read would lose what it holds when a save writes
// over it: keep a copy aside first, then let the save start it afresh.
// False when the copy could not be made.
static bool setBrokenStoreAside()
{
    QString file;
    {
        QSettings store = openStore();
        if (!readState().unreadable && store.status() == QSettings::NoError)
            return true;
        file = store.fileName();
    }
    if (QFileInfo::exists(file)) {
        if (!keepUnreadableFile(file))
            return false;
        QFile::remove(file);
    }
    readState().unreadable = false;
    return true;
}

bool SaveSettingEx(const QString &section, const QList<QWidget *> &controls, CaptionKind kind)
{
    if (!setBrokenStoreAside())
        return false;
    QSettings store = openStore();
    for (QWidget *control : controls) {
        if (isOfKind(control, kind))
            store.setValue(keyOf(section, control), captionOf(control));
    }
    store.sync();
    return store.status() == QSettings::NoError;
}

QString takeReadProblem()
{
    ReadState &state = readState();
    if (!state.unreadable || state.told)
        return {};
    state.told = true;
    const QString file = storeLocation();
    return QStringLiteral("无法读取设置文件：\n%1\n\n名称和价格暂时显示为空白。"
                          "下次保存前，原文件会先另存为：\n%1.bak")
        .arg(file);
}

void resetReadState()
{
    readState() = ReadState{};
}

}  // namespace settings

