#include "common/accessible_names.h"

#include "common/accessible_bus.h"
#include "common/accessible_text.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QHash>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollArea>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace a11y {

namespace {

// What the program says about one control beyond the toolkit's defaults.
struct Spoken {
    Namer namer;        // its name
    Namer describer;    // what its last press changed, if it is told
    Namer restingWords; // its description until it is pressed
    LineSource lines;   // its lines, if it is a list of printed lines
    Namer edited;       // what its input box edits, if it has one
    bool pressed = false;  // since it last took the keyboard focus
    int currentLine = -1;  // of a list: the line the arrow keys are on, if any
    bool rowsOfView = false;  // a list over an item view's rows, which keeps its own keys
};

QHash<const QObject *, Spoken> &spokenControls()
{
    static QHash<const QObject *, Spoken> all;
    return all;
}

// Controls whose names quote a caption, by the control holding the caption.
QHash<const QObject *, QList<QPointer<QWidget>>> &followers()
{
    static QHash<const QObject *, QList<QPointer<QWidget>>> all;
    return all;
}

// News told about a control (sayNow), until it loses the focus, and the
// description the control had before it.
struct News {
    QString words;
    QString before;
};

QHash<const QObject *, News> &newsOf()
{
    static QHash<const QObject *, News> all;
    return all;
}

// The control whose description is being set for news: the toolkit's own
// event for it is left out, as the news is told once, with its text.
const QObject *settingNews = nullptr;

const Spoken *spokenFor(const QObject *control)
{
    const auto found = spokenControls().constFind(control);
    return found == spokenControls().constEnd() ? nullptr : &*found;
}

bool shown(const QObject *object)
{
    return !object || !object->isWidgetType() || static_cast<const QWidget *>(object)->isVisible();
}

// Events about what a control says or holds; the others (created, shown,
// hidden, destroyed, focus, states) keep the screen reader's picture of the
// windows right and always pass.
bool aboutContent(QAccessible::Event type)
{
    switch (type) {
    case QAccessible::NameChanged:
    case QAccessible::DescriptionChanged:
    case QAccessible::ValueChanged:
    case QAccessible::ObjectReorder:
    case QAccessible::TextInserted:
    case QAccessible::TextRemoved:
    case QAccessible::TextUpdated:
    case QAccessible::TextCaretMoved:
    case QAccessible::TextSelectionChanged:
        return true;
    default:
        return false;
    }
}

void quietUpdates(QAccessibleEvent *event);

// Hands an event on to the platform's screen reader bridge. A changed name or
// description goes out with its text where the platform lets it.
void pass(QAccessibleEvent *event)
{
    const QAccessible::Event what = event->type();
    if ((what == QAccessible::NameChanged || what == QAccessible::DescriptionChanged) &&
        sendTextChange(event->accessibleInterface(), what))
        return;
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(quietUpdates);
}

void pass(QWidget *control, QAccessible::Event what)
{
    QAccessibleEvent event(control, what);
    pass(&event);
}

// A name or description that changed while its window was hidden, told
// when the window shows again.
struct Unheard {
    QPointer<QWidget> control;
    QAccessible::Event what;
};

// The windows a screen reader has seen shown, and what changed in each
// since it was last hidden. A window never shown has nothing a screen
// reader could remember, so nothing is kept for it.
QHash<const QObject *, QList<Unheard>> &unheard()
{
    static QHash<const QObject *, QList<Unheard>> all;
    return all;
}

void keepForLater(QWidget *control, QAccessible::Event what)
{
    const auto window = unheard().find(control->window());
    if (window == unheard().end())
        return;
    for (const Unheard &kept : std::as_const(*window))
        if (kept.control == control && kept.what == what)
            return;
    window->append({control, what});
}

// What changed in `window` while it was hidden, forgotten as it is told; from
// now on the window counts as seen.
QList<Unheard> takeUnheard(QWidget *window)
{
    const auto found = unheard().find(window);
    if (found != unheard().end())
        return std::exchange(*found, {});
    QObject::connect(window, &QObject::destroyed, [window] { unheard().remove(window); });
    unheard().insert(window, {});
    return {};
}

// A list of printed lines is named after them: new name, new lines, each
// told as added (lines gone are no longer its children).
void linesAdded(QObject *object)
{
    const Spoken *spoken = spokenFor(object);
    if (!spoken || !spoken->lines)
        return;
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(object);
    for (int i = 0; list && i < list->childCount(); ++i) {
        QAccessibleEvent added(list->child(i), QAccessible::ObjectCreated);
        pass(&added);
    }
}

// Sees every event while a screen reader listens. A hidden window's controls
// change their captions as the window loads, takes a hand-off or is reset;
// nobody can see them then, so nothing is said until the window shows again.
// A changed caption also renames the controls that quote it.
void quietUpdates(QAccessibleEvent *event)
{
    QObject *object = event->object();
    const QAccessible::Event what = event->type();
    const auto followersOf = [object] {
        return object ? followers().value(object) : QList<QPointer<QWidget>>();
    };
    if (tellsFocusTooEarly(event))
        return;
    if (object && object == settingNews && what == QAccessible::DescriptionChanged)
        return;
    // An item view told as a list of its rows: the toolkit's events about its
    // cells count them as a table's, so they are left out; the rows are told
    // by the list itself.
    if (const Spoken *spoken = object ? spokenFor(object) : nullptr;
        spoken && spoken->rowsOfView &&
        (event->child() >= 0 || what == QAccessible::TableModelChanged))
        return;
    if (aboutContent(what) && !shown(object)) {
        if (what == QAccessible::NameChanged || what == QAccessible::DescriptionChanged)
            keepForLater(static_cast<QWidget *>(object), what);
        if (what == QAccessible::NameChanged)
            for (const QPointer<QWidget> &follower : followersOf())
                if (follower)
                    keepForLater(follower, what);
        return;
    }
    pass(event);
    tellChoiceChanged(event);
    if (what == QAccessible::ObjectShow && object && object->isWidgetType() &&
        static_cast<QWidget *>(object)->isWindow()) {
        for (const Unheard &change : takeUnheard(static_cast<QWidget *>(object))) {
            if (change.control && change.control->isVisible()) {
                pass(change.control, change.what);
                if (change.what == QAccessible::NameChanged)
                    linesAdded(change.control);
            }
        }
        return;
    }
    if (what != QAccessible::NameChanged || !object)
        return;
    linesAdded(object);
    for (const QPointer<QWidget> &follower : followersOf()) {
        if (!follower)
            continue;
        if (follower->isVisible())
            pass(follower, QAccessible::NameChanged);
        else
            keepForLater(follower, QAccessible::NameChanged);
    }
}

void tell(QWidget *control, QAccessible::Event what)
{
    if (!QAccessible::isActive() || !control->isVisible())
        return;
    QAccessibleEvent event(control, what);
    QAccessible::updateAccessibility(&event);
}

QAccessible::Role roleOf(const QWidget *control)
{
    if (control->isWindow())
        return QAccessible::Window;
    if (qobject_cast<const QAbstractButton *>(control))
        return QAccessible::Button;
    return QAccessible::StaticText;
}

// The accessible face of a named control: a window, a button (which can be
// pressed) or a piece of static text, whose name comes from its namer.
class NamedControl : public QAccessibleWidget {
public:
    explicit NamedControl(QWidget *control) : QAccessibleWidget(control, roleOf(control)) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description) {
            const auto news = newsOf().constFind(object());
            if (news != newsOf().constEnd())
                return news->words;
        }
        const Spoken *spoken = spokenFor(object());
        if (spoken && t == QAccessible::Name && spoken->namer &&
            widget()->accessibleName().isEmpty())
            return spoken->namer();
        if (spoken && t == QAccessible::Description && spoken->pressed && spoken->describer)
            return spoken->describer();
        if (spoken && t == QAccessible::Description && spoken->restingWords)
            return spoken->restingWords();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (const QAbstractButton *b = button())
            s.pressed = b->isDown();
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (button())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString &action) override
    {
        if (action == pressAction() && button()) {
            if (button()->isEnabled())
                button()->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton *button() const { return qobject_cast<QAbstractButton *>(widget()); }
};

QList<Line> linesOf(const QWidget *box)
{
    const Spoken *spoken = box ? spokenFor(box) : nullptr;
    return spoken && spoken->lines ? spoken->lines() : QList<Line>();
}

// One line of a list of printed lines. It reads its text from the box each
// time, so it follows the box; a line the box no longer has is invalid.
class ListedLine : public QAccessibleInterface {
public:
    ListedLine(QWidget *box, int index) : m_box(box), m_index(index) {}

    bool isValid() const override { return m_box && m_index < linesOf(m_box).size(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        return m_box ? m_box->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *parent() const override
    {
        return m_box ? QAccessible::queryAccessibleInterface(m_box.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? line().text : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!m_box)
            return {};
        const QRect r = line().rect;
        return QRect(m_box->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.readOnly = true;
        s.invisible = !m_box || !m_box->isVisible();
        s.focusable = s.selectable = true;
        const Spoken *spoken = m_box ? spokenFor(m_box) : nullptr;
        s.focused = s.selected =
            spoken && spoken->currentLine == m_index && m_box->hasFocus();
        return s;
    }

    int index() const { return m_index; }

private:
    Line line() const
    {
        const QList<Line> all = linesOf(m_box);
        return m_index < all.size() ? all[m_index] : Line{};
    }

    QPointer<QWidget> m_box;
    int m_index;
};

// A box of printed lines, told as a list of them.
class LineList : public NamedControl {
public:
    explicit LineList(QWidget *box) : NamedControl(box) {}

    ~LineList() override
    {
        for (const QAccessible::Id id : std::as_const(m_lineIds))
            QAccessible::deleteAccessibleInterface(id);
    }

    QAccessible::Role role() const override { return QAccessible::List; }

    int childCount() const override { return int(linesOf(widget()).size()); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        while (m_lineIds.size() <= index)
            m_lineIds.append(QAccessible::registerAccessibleInterface(
                new ListedLine(widget(), int(m_lineIds.size()))));
        return QAccessible::accessibleInterface(m_lineIds[index]);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (int i = 0; i < m_lineIds.size(); ++i)
            if (QAccessible::accessibleInterface(m_lineIds[i]) == child)
                return i < childCount() ? i : -1;
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QList<Line> all = linesOf(widget());
        const QPoint local = widget()->mapFromGlobal(QPoint(x, y));
        for (int i = 0; i < all.size(); ++i)
            if (all[i].rect.contains(local))
                return child(i);
        return nullptr;
    }

private:
    mutable QList<QAccessible::Id> m_lineIds;
};

// Tab reaches a list of printed lines; with the focus on it the arrow keys go
// through its lines one by one (Home and End to the first and last), each
// told as focused, so that a screen reader reads it. The list itself is what
// the focus lands on first.
class LineReader : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto found = spokenControls().find(watched);
        if (found == spokenControls().end() || !found->lines)
            return QObject::eventFilter(watched, event);
        if (event->type() == QEvent::FocusIn) {
            found->currentLine = -1;
            return QObject::eventFilter(watched, event);
        }
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const int count = int(found->lines().size());
        const int current = std::min(found->currentLine, count - 1);
        int next = current;
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Down: next = std::min(current + 1, count - 1); break;
        case Qt::Key_Up: next = std::max(current - 1, 0); break;
        case Qt::Key_Home: next = 0; break;
        case Qt::Key_End: next = count - 1; break;
        default: return QObject::eventFilter(watched, event);
        }
        if (count > 0 && next >= 0) {
            found->currentLine = next;
            // A list that scrolls shows the line being read.
            auto *box = static_cast<QWidget *>(watched);
            QWidget *viewport = box->parentWidget();
            auto *pane = viewport ? qobject_cast<QScrollArea *>(viewport->parentWidget()) : nullptr;
            if (pane && pane->widget() == box) {
                const QPoint centre = found->lines()[next].rect.center();
                pane->ensureVisible(centre.x(), centre.y());
            }
            QAccessibleInterface *list = QAccessible::queryAccessibleInterface(watched);
            if (QAccessible::isActive() && list && list->child(next)) {
                QAccessibleEvent focused(list->child(next), QAccessible::Focus);
                QAccessible::updateAccessibility(&focused);
            }
        }
        return true;
    }
};

LineReader *lineReader()
{
    static QPointer<LineReader> reader;
    if (!reader)
        reader = new LineReader(QCoreApplication::instance());
    return reader;
}

// Consulted before the toolkit's own interfaces, since factories installed
// later are asked first.
QAccessibleInterface *spokenControlFactory(const QString &, QObject *object)
{
    const Spoken *spoken = spokenFor(object);
    if (!spoken || !object->isWidgetType())
        return nullptr;
    auto *control = static_cast<QWidget *>(object);
    if (spoken->lines)
        return new LineList(control);
    return new NamedControl(control);
}

// Registers what `control` says, through `change`, and makes sure the next
// question about it reaches the program's own interface.
void speak(QWidget *control, const std::function<void(Spoken &)> &change)
{
    install();
    if (!spokenControls().contains(control))
        QObject::connect(control, &QObject::destroyed, [control] {
            spokenControls().remove(control);
            followers().remove(control);
        });
    Spoken &spoken = spokenControls()[control];
    change(spoken);
    // Setting a caption already made the toolkit's own interface for the
    // control and cached it; drop it so that the next question reaches ours.
    // This happens while the window is being built, before anything of it
    // was told to a screen reader.
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
    const bool named = dynamic_cast<NamedControl *>(face) != nullptr;
    const bool listed = dynamic_cast<LineList *>(face) != nullptr;
    if (face && (!named || listed != bool(spoken.lines)))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(face));
}

// What a press changed is said right after it and stays the button's
// description while the button keeps the focus; once the focus leaves (to
// another control, a menu, a box or another window) the button goes back to
// what it says at rest, so coming back to it later does not tell of an old
// press as news.
class PressForgetter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusOut || event->type() == QEvent::Hide) {
            const auto found = spokenControls().find(watched);
            if (found != spokenControls().end() && std::exchange(found->pressed, false)) {
                // Told once the focus has arrived where it goes, so that a
                // screen reader keeps it for later rather than saying it now.
                QTimer::singleShot(0, watched, [watched] {
                    if (!QAccessible::isActive())
                        return;
                    QAccessibleEvent changed(watched, QAccessible::DescriptionChanged);
                    QAccessible::updateAccessibility(&changed);
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

PressForgetter *pressForgetter()
{
    static QPointer<PressForgetter> forgetter;
    if (!forgetter)
        forgetter = new PressForgetter(QCoreApplication::instance());
    return forgetter;
}

// Sets `control`'s description to `words` without the toolkit telling it.
void setNewsQuietly(QWidget *control, const QString &words)
{
    settingNews = control;
    control->setAccessibleDescription(words);
    settingNews = nullptr;
}

// News is forgotten once its control loses the focus or is hidden, so that
// coming back to it later does not tell an old change as new.
class NewsForgetter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto news = newsOf().find(watched);
        if ((event->type() == QEvent::FocusOut || event->type() == QEvent::Hide) &&
            news != newsOf().end()) {
            auto *control = static_cast<QWidget *>(watched);
            const QString before = news->before;
            newsOf().erase(news);
            setNewsQuietly(control, before);
            // Told once the focus has arrived where it goes, so that nothing
            // is said of it.
            QTimer::singleShot(0, control, [control] { tell(control, QAccessible::DescriptionChanged); });
        }
        return QObject::eventFilter(watched, event);
    }
};

NewsForgetter *newsForgetter()
{
    static QPointer<NewsForgetter> forgetter;
    if (!forgetter)
        forgetter = new NewsForgetter(QCoreApplication::instance());
    return forgetter;
}

}  // namespace

void sayNow(QWidget *control, const QString &words)
{
    if (!control || words.isEmpty())
        return;
    install();
    static QSet<const QObject *> watched;
    if (!watched.contains(control)) {
        watched.insert(control);
        control->installEventFilter(newsForgetter());
        QObject::connect(control, &QObject::destroyed, [control] {
            newsOf().remove(control);
            watched.remove(control);
        });
    }
    const auto earlier = newsOf().constFind(control);
    const QString before = earlier != newsOf().constEnd() ? earlier->before : control->accessibleDescription();
    newsOf().insert(control, {words, before});
    setNewsQuietly(control, words);
    tell(control, QAccessible::DescriptionChanged);
}

std::function<void()> sayAfterPause(QWidget *control, Namer words)
{
    auto *pause = new QTimer(control);
    pause->setSingleShot(true);
    pause->setInterval(700);
    QObject::connect(pause, &QTimer::timeout, control, [control, words = std::move(words)] {
        if (control->hasFocus())
            sayNow(control, words());
    });
    return [timer = QPointer<QTimer>(pause)] {
        if (timer)
            timer->start();
    };
}

void install()
{
    static const bool installed = [] {
        answerTextFields();
        // Asked before the text fields' factory: a control the program names
        // is told as the program says.
        QAccessible::installFactory(spokenControlFactory);
        QAccessible::installUpdateHandler(quietUpdates);
        return true;
    }();
    Q_UNUSED(installed);
}

void nameBy(QWidget *control, Namer namer)
{
    speak(control, [&namer](Spoken &spoken) { spoken.namer = std::move(namer); });
}

void describeAfterPress(QAbstractButton *button, Namer describer, Namer restingWords)
{
    speak(button, [&describer, &restingWords, button](Spoken &spoken) {
        if (!spoken.namer)
            spoken.namer = [button] { return button->text(); };
        spoken.describer = std::move(describer);
        spoken.restingWords = std::move(restingWords);
    });
    // Connected after the window's own handler, so it runs once the press
    // has done its work.
    QObject::connect(button, &QAbstractButton::clicked, button, [button] {
        spokenControls()[button].pressed = true;
        tell(button, QAccessible::DescriptionChanged);
    });
    button->installEventFilter(pressForgetter());
}

void nameFollows(QWidget *dependent, QWidget *source)
{
    QList<QPointer<QWidget>> &list = followers()[source];
    if (!list.contains(dependent))
        list.append(dependent);
    if (list.size() == 1)
        QObject::connect(source, &QObject::destroyed, [source] { followers().remove(source); });
}

void listBy(QWidget *box, Namer namer, LineSource lines)
{
    speak(box, [&namer, &lines](Spoken &spoken) {
        spoken.namer = std::move(namer);
        spoken.lines = std::move(lines);
    });
    box->setFocusPolicy(Qt::TabFocus);
    box->installEventFilter(lineReader());
}

void editedAs(QWidget *control, Namer what)
{
    speak(control, [&what](Spoken &spoken) { spoken.edited = std::move(what); });
}

QString editPrompt(const QWidget *control)
{
    const Spoken *spoken = control ? spokenFor(control) : nullptr;
    return spoken && spoken->edited ? QStringLiteral("修改 ") + spoken->edited() : QString();
}

namespace {

// The row the view's current index is on, told as focused while the view
// has the focus.
void tellCurrentRow(QAbstractItemView *view)
{
    const auto found = spokenControls().find(view);
    if (found == spokenControls().end())
        return;
    found->currentLine = view->currentIndex().isValid() ? view->currentIndex().row() : -1;
    if (!QAccessible::isActive() || !view->hasFocus() || found->currentLine < 0)
        return;
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(view);
    if (QAccessibleInterface *row = list ? list->child(found->currentLine) : nullptr) {
        QAccessibleEvent focused(row, QAccessible::Focus);
        QAccessible::updateAccessibility(&focused);
    }
}

// The current cell of a table view, told as focused while the view has the
// focus.
void tellCurrentCell(QAbstractItemView *view)
{
    const QModelIndex current = view->currentIndex();
    if (!QAccessible::isActive() || !view->hasFocus() || !current.isValid())
        return;
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(view);
    QAccessibleTableInterface *table = face ? face->tableInterface() : nullptr;
    if (QAccessibleInterface *cell = table ? table->cellAt(current.row(), current.column()) : nullptr) {
        QAccessibleEvent focused(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&focused);
    }
}

// Once the focus is on the view (the view itself told first), so is its
// row or cell. Up on its first row and Down on its last, which move
// nothing, say so rather than nothing.
class RowFocus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress)
            if (auto *view = qobject_cast<QAbstractItemView *>(watched)) {
                const auto *key = static_cast<const QKeyEvent *>(event);
                const QAbstractItemModel *model = view->model();
                const int rows = model ? model->rowCount() : 0;
                const int row = view->currentIndex().isValid() ? view->currentIndex().row() : -1;
                const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
                const bool up = plain && key->key() == Qt::Key_Up, down = plain && key->key() == Qt::Key_Down;
                const QString edge = (up || down) && rows == 0 ? QStringLiteral("没有内容")
                                     : up && row == 0          ? QStringLiteral("已是第一行")
                                     : down && row == rows - 1 ? QStringLiteral("已是最后一行")
                                                               : QString();
                if (!edge.isEmpty() && QAccessible::isActive()) {
                    // A screen reader on one of the view's cells hears no news
                    // of the view: the view takes the focus back for a moment,
                    // with the edge as its news.
                    sayNow(view, edge);
                    QAccessibleEvent focused(view, QAccessible::Focus);
                    QAccessible::updateAccessibility(&focused);
                }
            }
        if (event->type() == QEvent::FocusIn)
            if (auto *view = qobject_cast<QAbstractItemView *>(watched))
                QTimer::singleShot(0, view, [view] {
                    if (spokenFor(view))
                        tellCurrentRow(view);
                    else
                        tellCurrentCell(view);
                });
        return QObject::eventFilter(watched, event);
    }
};

RowFocus *rowFocus()
{
    static QPointer<RowFocus> filter;
    if (!filter)
        filter = new RowFocus(QCoreApplication::instance());
    return filter;
}

}  // namespace

void listRowsBy(QAbstractItemView *view, Namer namer, std::function<QString(int row)> row)
{
    const QPointer<QAbstractItemView> v(view);
    LineSource lines = [v, row = std::move(row)] {
        QList<Line> all;
        const QAbstractItemModel *model = v ? v->model() : nullptr;
        if (!model)
            return all;
        const QPoint offset = v->viewport()->pos();
        const int last = std::max(0, model->columnCount() - 1);
        for (int r = 0; r < model->rowCount(); ++r) {
            const QRect drawn = v->visualRect(model->index(r, 0)) | v->visualRect(model->index(r, last));
            all.append({row(r), drawn.translated(offset)});
        }
        return all;
    };
    speak(view, [&namer, &lines](Spoken &spoken) {
        spoken.namer = std::move(namer);
        spoken.lines = std::move(lines);
        spoken.rowsOfView = true;
    });
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentChanged, view,
                     [view] { tellCurrentRow(view); });
    view->installEventFilter(rowFocus());
}

void tellCurrentCellOnFocus(QAbstractItemView *table)
{
    install();
    table->installEventFilter(rowFocus());
}

void linesChanged(QWidget *box)
{
    tell(box, QAccessible::NameChanged);
}

QString said(const QString &caption, const QString &blank)
{
    const QString trimmed = caption.trimmed();
    return trimmed.isEmpty() ? blank : trimmed;
}

QString emptyWord()
{
    return QStringLiteral("空");
}

}  // namespace a11y
