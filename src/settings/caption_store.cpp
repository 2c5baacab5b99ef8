#include "settings/caption_store.h"

#include "settings/store_backend.h"

#include <QLabel>
#include <QPushButton>
#include <QVariant>

namespace settings {

namespace {

using backend::Condition;
using backend::Entries;

struct RunState {
    bool started = false;                  // leftovers of a dead run removed
    Condition problem = Condition::Fine;   // the first problem a read found
    QString problemReason;
    QString problemCopy;                   // where a damaged store will be kept
    bool told = false;                     // the user has been told about it
    QString saveProblem;                   // why the last save failed
};

// Marks a control whose caption the user edited since its window loaded or
// last saved.
constexpr char editedMark[] = "tavelkoCaptionEdited";

ChangedHook &changedHook()
{
    static ChangedHook hook;
    return hook;
}

int &quiet()
{
    static int depth = 0;
    return depth;
}

RunState &runState()
{
    static RunState state;
    return state;
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

backend::Snapshot readStore()
{
    RunState &state = runState();
    if (!state.started) {
        backend::removeLeftovers();
        state.started = true;
    }
    backend::Snapshot snapshot = backend::read();
    if (snapshot.condition != Condition::Fine && state.problem == Condition::Fine) {
        state.problem = snapshot.condition;
        state.problemReason = snapshot.reason;
        state.problemCopy = backend::copyNameFor(snapshot);
    }
    return snapshot;
}

// One save: the store as it is now, with what `change` puts into a copy of
// its entries, written beside it and put in its place. Nothing is written
// when the copy holds nothing new (a damaged store is rewritten all the same,
// after a copy of it is kept), nor over a store that could not be read. False,
// with the reason kept for saveFailureMessage(), when the save failed.
template <typename Change>
bool writeOver(Change change)
{
    RunState &state = runState();
    state.saveProblem.clear();
    backend::removeLeftovers();

    const backend::Snapshot before = readStore();
    if (before.condition == Condition::Unreadable) {
        state.saveProblem = QStringLiteral("设置文件无法读取（%1），为免覆盖其中的内容，没有写入。")
                                .arg(before.reason);
        return false;
    }
    Entries after = before.entries;
    change(before.entries, after);
    if (before.condition != Condition::Damaged && after == before.entries)
        return true;  // the store already holds every caption

    QString why;
    if (before.condition == Condition::Damaged && !backend::keepCopy(before, &why)) {
        state.saveProblem = why;
        return false;
    }
    state.saveProblem = backend::write(before.entries, after);
    if (!state.saveProblem.isEmpty())
        return false;
    if (changedHook() && quiet() == 0) {
        QMap<QString, QString> changed;
        for (auto entry = after.cbegin(); entry != after.cend(); ++entry)
            if (entry.value() != before.entries.value(entry.key(), missingCaption))
                changed.insert(entry.key(), entry.value());
        if (!changed.isEmpty())
            changedHook()(changed);
    }
    return true;
}

}  // namespace

QString storeLocation()
{
    return backend::location();
}

bool GetSettingEx(const QString &section, const QList<QWidget *> &controls, CaptionKind kind)
{
    const backend::Snapshot store = readStore();
    for (QWidget *control : controls) {
        if (isOfKind(control, kind)) {
            setCaption(control, store.entries.value(keyOf(section, control), missingCaption));
            control->setProperty(editedMark, QVariant());
        }
    }
    return store.condition == Condition::Fine;
}

bool SaveSettingEx(const QString &section, const QList<QWidget *> &controls, CaptionKind kind)
{
    // The captions edited here go in, and those the store has no entry for
    // yet (the first save of a window stores all of them). The others show
    // what the store held when the window loaded (or blanks, when it could
    // not be read then); another copy of the program may have saved since.
    QList<QWidget *> edited;
    const bool saved = writeOver([&](const Entries &before, Entries &after) {
        for (QWidget *control : controls) {
            if (!isOfKind(control, kind))
                continue;
            const QString key = keyOf(section, control);
            if (control->property(editedMark).toBool())
                edited.append(control);
            else if (before.contains(key))
                continue;
            after.insert(key, captionOf(control));
        }
    });
    if (saved)
        for (QWidget *control : edited)
            control->setProperty(editedMark, QVariant());
    return saved;
}

void setEditedCaption(QWidget *control, const QString &text)
{
    setCaption(control, text);
    control->setProperty(editedMark, true);
}

QString takeReadProblem()
{
    RunState &state = runState();
    if (state.problem == Condition::Fine || state.told)
        return {};
    state.told = true;
    const QString file = storeLocation();
    if (state.problem == Condition::Dangling)
        return QStringLiteral("设置文件是一个链接，它指向的文件不存在：\n%1\n→ %2\n\n"
                              "名称和价格暂时显示为空白。第一次保存时会在链接指向的位置建立该文件。")
            .arg(file, state.problemReason);
    if (state.problem == Condition::Unreadable)
        return QStringLiteral("无法读取设置文件：\n%1\n（%2）\n\n名称和价格暂时显示为空白。"
                              "在文件能够读取之前，不会有任何内容写入该文件。")
            .arg(file, state.problemReason);
    return QStringLiteral("设置文件已损坏：\n%1\n（%2）\n\n能读出的名称和价格已经载入，"
                          "其余暂时显示为空白。下次保存前，原文件会先另存为：\n%3")
        .arg(file, state.problemReason, state.problemCopy);
}

QString saveFailureMessage(const QString &what)
{
    return QStringLiteral("%1未能保存：%2\n设置文件：%3\n文件中原有的内容没有改变。")
        .arg(what, runState().saveProblem, storeLocation());
}

void removeLeftovers()
{
    backend::removeLeftovers();
    runState().started = true;
}

void resetReadState()
{
    runState() = RunState{};
}

bool readCaptions(const QStringList &keys, QMap<QString, QString> *captions, QString *problem)
{
    // Straight from the platform: no leftovers removed (another copy may be
    // saving this very moment) and nothing noted for the open windows.
    const backend::Snapshot store = backend::read();
    problem->clear();
    if (store.condition == Condition::Damaged || store.condition == Condition::Unreadable)
        *problem = store.reason;
    if (store.condition == Condition::Unreadable)
        return false;
    for (const QString &key : keys)
        captions->insert(key, store.entries.value(key, missingCaption));
    return true;
}

void setChangedHook(ChangedHook hook)
{
    changedHook() = std::move(hook);
}

QuietSaves::QuietSaves()
{
    ++quiet();
}

QuietSaves::~QuietSaves()
{
    --quiet();
}

bool saveCaptions(const QMap<QString, QString> &captions)
{
    return writeOver([&](const Entries &, Entries &after) {
        for (auto entry = captions.begin(); entry != captions.end(); ++entry)
            after.insert(entry.key(), entry.value());
    });
}

}  // namespace settings
