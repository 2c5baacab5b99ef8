#include "common/accessible_text.h"

#include "common/accessible_bus.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QList>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextBoundaryFinder>
#include <QValidator>

namespace a11y {

namespace {

// The offsets at which pieces of the given kind begin, with 0 and the text's
// length. The toolkit's boundary finder is walked forward only, and a step
// that does not move on ends the walk, so this always returns.
QList<int> cuts(const QString &text, QAccessible::TextBoundaryType boundary)
{
    const int length = int(text.size());
    QList<int> at{0};
    const auto add = [&at](int offset) {
        if (offset > at.last())
            at.append(offset);
    };
    switch (boundary) {
    case QAccessible::CharBoundary:
    case QAccessible::WordBoundary:
    case QAccessible::SentenceBoundary: {
        const auto kind = boundary == QAccessible::CharBoundary   ? QTextBoundaryFinder::Grapheme
                          : boundary == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                  : QTextBoundaryFinder::Sentence;
        QTextBoundaryFinder finder(kind, text);
        finder.toStart();
        for (qsizetype next = finder.toNextBoundary(); next > at.last() && next <= length;
             next = finder.toNextBoundary()) {
            const auto why = finder.boundaryReasons();
            if (kind != QTextBoundaryFinder::Word ||
                (why & (QTextBoundaryFinder::StartOfItem | QTextBoundaryFinder::EndOfItem)))
                add(int(next));
        }
        break;
    }
    case QAccessible::LineBoundary:
    case QAccessible::ParagraphBoundary:
        for (int i = 0; i < length; ++i)
            if (text.at(i) == u'\n')
                add(i + 1);
        break;
    case QAccessible::NoBoundary:
        break;
    }
    add(length);
    return at;
}

}  // namespace

QString textPiece(const QString &text, int offset, QAccessible::TextBoundaryType boundary,
                  Piece which, int *startOffset, int *endOffset)
{
    const int length = int(text.size());
    *startOffset = *endOffset = -1;
    if (offset == -1)
        offset = length;
    if (offset < 0 || offset > length)
        return QString();
    const QList<int> at = cuts(text, boundary);
    // Pieces are [at[i], at[i + 1]); the one holding `offset`, where the end
    // of the text counts as inside the last piece (for characters, as an
    // empty piece of its own).
    const int pieces = int(at.size()) - 1;
    int piece = pieces;
    for (int i = 0; i < pieces; ++i)
        if (offset < at[i + 1]) {
            piece = i;
            break;
        }
    if (piece == pieces && boundary != QAccessible::CharBoundary && pieces > 0)
        piece = pieces - 1;
    if (which == Piece::Before)
        --piece;
    else if (which == Piece::After)
        ++piece;
    if (piece < 0 || piece > pieces || (piece == pieces && which != Piece::At))
        return QString();
    *startOffset = at[piece];
    *endOffset = piece < pieces ? at[piece + 1] : length;
    return text.mid(*startOffset, *endOffset - *startOffset);
}

namespace {

// The pieces of text a screen reader asks for, over a text it reads each time.
class PlainText : public QAccessibleTextInterface {
public:
    virtual QString shownText() const = 0;

    QString text(int startOffset, int endOffset) const override
    {
        const QString all = shownText();
        startOffset = std::clamp(startOffset, 0, int(all.size()));
        endOffset = endOffset < 0 ? int(all.size()) : std::clamp(endOffset, startOffset, int(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(shownText().size()); }

    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *start,
                             int *end) const override
    {
        return piece(offset, boundary, Piece::Before, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *start,
                            int *end) const override
    {
        return piece(offset, boundary, Piece::After, start, end);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *start,
                         int *end) const override
    {
        return piece(offset, boundary, Piece::At, start, end);
    }

    // The text has no attributes of its own: one run, the whole text.
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        const int length = characterCount();
        if (offset == -2)
            offset = cursorPosition();
        if (offset < -1 || offset > length) {
            *startOffset = *endOffset = -1;
            return QString();
        }
        *startOffset = 0;
        *endOffset = length;
        return QString();
    }

private:
    QString piece(int offset, QAccessible::TextBoundaryType boundary, Piece which, int *start,
                  int *end) const
    {
        if (offset == -2)
            offset = cursorPosition();
        return textPiece(shownText(), offset, boundary, which, start, end);
    }
};

// A one-line text field, as the toolkit tells it, with the pieces of its
// text and its attribute runs answered by PlainText.
class TextField : public QAccessibleWidget, public PlainText, public QAccessibleEditableTextInterface {
public:
    explicit TextField(QLineEdit *field) : QAccessibleWidget(field, QAccessible::EditableText) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (t == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        QString said;
        if (t == QAccessible::Value)
            said = shownText();
        if (said.isEmpty())
            said = QAccessibleWidget::text(t);
        if (said.isEmpty() && t == QAccessible::Description)
            said = field()->placeholderText();
        return said;
    }
    using PlainText::text;

    void setText(QAccessible::Text t, const QString &text) override
    {
        if (t != QAccessible::Value) {
            QAccessibleWidget::setText(t, text);
            return;
        }
        if (field()->isReadOnly())
            return;
        QString checked = text;
        int position = 0;
        if (field()->validator() &&
            field()->validator()->validate(checked, position) != QValidator::Acceptable)
            return;
        field()->setText(checked);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = true;
        s.readOnly = field()->isReadOnly();
        s.passwordEdit = field()->echoMode() != QLineEdit::Normal;
        s.selectableText = true;
        return s;
    }

    // What the field shows; a hidden text (a password) is never told.
    QString shownText() const override
    {
        return field()->echoMode() == QLineEdit::Normal ? field()->text() : QString();
    }

    void selection(int index, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (index != 0 || !field()->hasSelectedText())
            return;
        *startOffset = int(field()->selectionStart());
        *endOffset = int(field()->selectionEnd());
    }
    int selectionCount() const override { return field()->hasSelectedText() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int index) override
    {
        if (index == 0)
            field()->deselect();
    }
    void setSelection(int index, int startOffset, int endOffset) override
    {
        if (index == 0)
            field()->setSelection(startOffset, endOffset - startOffset);
    }
    int cursorPosition() const override { return field()->cursorPosition(); }
    void setCursorPosition(int position) override { field()->setCursorPosition(position); }

    // Where a character stands on the screen, from the widths of the text
    // before it, the field's margins and its alignment.
    QRect characterRect(int offset) const override
    {
        const QString all = shownText();
        if (offset < 0 || offset >= all.size())
            return QRect();
        QStyleOptionFrame option;
        option.initFrom(field());
        const QRect inside = field()->style()->subElementRect(QStyle::SE_LineEditContents, &option, field())
                                 .marginsRemoved(field()->textMargins());
        const QFontMetrics metrics(field()->font());
        int x = inside.left() + metrics.horizontalAdvance(all.left(offset));
        const int whole = metrics.horizontalAdvance(all);
        if (whole < inside.width()) {
            if (field()->alignment() & Qt::AlignRight)
                x += inside.width() - whole;
            else if (field()->alignment() & Qt::AlignHCenter)
                x += (inside.width() - whole) / 2;
        }
        const QRect local(x, inside.top() + (inside.height() - metrics.height()) / 2,
                          metrics.horizontalAdvance(all.mid(offset, 1)), metrics.height());
        return QRect(field()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return field()->cursorPositionAt(field()->mapFromGlobal(point));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        field()->setCursorPosition(endIndex);
        field()->setCursorPosition(startIndex);
    }

    // A screen reader's edits, where the field may be edited.
    void deleteText(int startOffset, int endOffset) override
    {
        replaceText(startOffset, endOffset, QString());
    }
    void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString &text) override
    {
        if (field()->isReadOnly())
            return;
        const QString all = field()->text();
        startOffset = std::clamp(startOffset, 0, int(all.size()));
        endOffset = std::clamp(endOffset, startOffset, int(all.size()));
        setText(QAccessible::Value, QString(all).replace(startOffset, endOffset - startOffset, text));
    }

private:
    QLineEdit *field() const { return static_cast<QLineEdit *>(widget()); }
};

// Set on a choice box while its new choice is told as its description.
const char *const choiceTold = "tavelkoChoiceTold";

// A choice box that is not typed into: its chosen text is its text, which a
// screen reader reads as the box's value, and, while a change is told and the
// program has given it no description of its own, its description.
class ChoiceBox : public QAccessibleWidget, public PlainText {
public:
    explicit ChoiceBox(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return shownText();
        QString said = QAccessibleWidget::text(t);
        if (said.isEmpty() && t == QAccessible::Description && box()->property(choiceTold).toBool())
            said = shownText();
        return said;
    }
    using PlainText::text;

    QString shownText() const override { return box()->currentText(); }

    // Its one child is the list it opens, as the toolkit tells it.
    int childCount() const override { return box()->view() ? 1 : 0; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 && box()->view() ? QAccessible::queryAccessibleInterface(box()->view())
                                           : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return box()->view() && child && child->object() == box()->view() ? 0 : -1;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view() && box()->view()->isVisible();
        s.hasPopup = true;
        return s;
    }

    QStringList actionNames() const override
    {
        return {showMenuAction(), pressAction()};
    }
    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return;
        if (box()->view() && box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }

    // Nothing of the chosen text can be selected or moved through.
    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

// A spin box or a date field: a value with a range, and the text of the
// field inside it, answered by that field's TextField (the inner field is not
// told on its own, as the toolkit has it).
class SpinField : public QAccessibleWidget,
                  public QAccessibleTextInterface,
                  public QAccessibleEditableTextInterface,
                  public QAccessibleValueInterface {
public:
    explicit SpinField(QAbstractSpinBox *box)
        : QAccessibleWidget(box, QAccessible::SpinBox),
          m_field(new TextField(box->findChild<QLineEdit *>(QStringLiteral("qt_spinbox_lineedit"))))
    {
    }
    ~SpinField() override { delete m_field; }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        switch (t) {
        case QAccessible::TextInterface:
            return static_cast<QAccessibleTextInterface *>(this);
        case QAccessible::EditableTextInterface:
            return static_cast<QAccessibleEditableTextInterface *>(this);
        case QAccessible::ValueInterface:
            return static_cast<QAccessibleValueInterface *>(this);
        default:
            return QAccessibleWidget::interface_cast(t);
        }
    }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? box()->text() : QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return box()->property("value"); }
    void setCurrentValue(const QVariant &value) override { box()->setProperty("value", value); }
    QVariant maximumValue() const override { return box()->property("maximum"); }
    QVariant minimumValue() const override { return box()->property("minimum"); }
    QVariant minimumStepSize() const override { return box()->property("singleStep"); }

    QString text(int startOffset, int endOffset) const override { return m_field->text(startOffset, endOffset); }
    int characterCount() const override { return m_field->characterCount(); }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *start,
                             int *end) const override
    {
        return m_field->textBeforeOffset(offset, boundary, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *start,
                            int *end) const override
    {
        return m_field->textAfterOffset(offset, boundary, start, end);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *start,
                         int *end) const override
    {
        return m_field->textAtOffset(offset, boundary, start, end);
    }
    QString attributes(int offset, int *start, int *end) const override
    {
        return m_field->attributes(offset, start, end);
    }
    void selection(int index, int *start, int *end) const override { m_field->selection(index, start, end); }
    int selectionCount() const override { return m_field->selectionCount(); }
    void addSelection(int start, int end) override { m_field->addSelection(start, end); }
    void removeSelection(int index) override { m_field->removeSelection(index); }
    void setSelection(int index, int start, int end) override { m_field->setSelection(index, start, end); }
    int cursorPosition() const override { return m_field->cursorPosition(); }
    void setCursorPosition(int position) override { m_field->setCursorPosition(position); }
    QRect characterRect(int offset) const override { return m_field->characterRect(offset); }
    int offsetAtPoint(const QPoint &point) const override { return m_field->offsetAtPoint(point); }
    void scrollToSubstring(int start, int end) override { m_field->scrollToSubstring(start, end); }
    void deleteText(int start, int end) override { m_field->deleteText(start, end); }
    void insertText(int offset, const QString &text) override { m_field->insertText(offset, text); }
    void replaceText(int start, int end, const QString &text) override { m_field->replaceText(start, end, text); }

private:
    QAbstractSpinBox *box() const { return static_cast<QAbstractSpinBox *>(widget()); }
    TextField *m_field;
};

QAccessibleInterface *textFieldFactory(const QString &, QObject *object)
{
    if (auto *field = qobject_cast<QLineEdit *>(object)) {
        // A spin box's own field is told through the spin box.
        if (qobject_cast<QAbstractSpinBox *>(field->parent()))
            return nullptr;
        return new TextField(field);
    }
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(object);
        spin && spin->findChild<QLineEdit *>(QStringLiteral("qt_spinbox_lineedit")))
        return new SpinField(spin);
    if (auto *box = qobject_cast<QComboBox *>(object); box && !box->isEditable())
        return new ChoiceBox(box);
    return nullptr;
}

}  // namespace

void answerTextFields()
{
    static const bool installed = [] {
        QAccessible::installFactory(textFieldFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

bool tellsFocusTooEarly(QAccessibleEvent *event)
{
    static QPointer<QObject> focusTold;
    QObject *object = event->object();
    switch (event->type()) {
    case QAccessible::Focus:
        focusTold = object;
        return false;
    case QAccessible::TextCaretMoved:
    case QAccessible::TextSelectionChanged: {
        // A field that takes the focus puts its caret at the start (and
        // selects its text) before its focus is told, as does one filled in
        // just before it gets the focus. A screen reader that hears of the
        // caret first takes the field as already focused and, when it is
        // empty, says nothing of it at all. Only the caret of the field whose
        // focus was told matters to a screen reader.
        auto *field = qobject_cast<QLineEdit *>(object);
        if (!field)
            return false;
        QObject *told = qobject_cast<QAbstractSpinBox *>(field->parent()) ? field->parent() : field;
        return told != focusTold;
    }
    default:
        return false;
    }
}

void tellChoiceChanged(QAccessibleEvent *event)
{
    auto *box = qobject_cast<QComboBox *>(event->object());
    if (event->type() != QAccessible::ValueChanged || !box || box->isEditable() || !box->hasFocus() ||
        !box->accessibleDescription().isEmpty())
        return;
    // The new choice goes out with the event; asked later, the box has no
    // description, so its choice is not said twice when it next gets the
    // focus.
    box->setProperty(choiceTold, true);
    sendTextChange(QAccessible::queryAccessibleInterface(box), QAccessible::DescriptionChanged);
    box->setProperty(choiceTold, false);
}

}  // namespace a11y
