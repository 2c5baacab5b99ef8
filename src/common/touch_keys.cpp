#include "common/touch_keys.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QPointingDevice>
#include <QScopedValueRollback>
#include <QSet>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>

namespace tillinput {

namespace {

// A press that a finger (or a pen) made: the platform or Qt turned it into a
// mouse event, or the device behind it is a touch screen.
bool fromTouch(const QMouseEvent *event)
{
    return event->source() == Qt::MouseEventSynthesizedByQt ||
           event->source() == Qt::MouseEventSynthesizedBySystem ||
           event->pointingDevice()->type() == QInputDevice::DeviceType::TouchScreen;
}

bool isEnter(const QKeyEvent *key)
{
    const Qt::KeyboardModifiers others =
        key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && others == 0;
}

// F2 edits. The context menu key (and Shift+F10) is not read here: the
// platform turns it into a keyboard context menu request, handled below, and
// reading the key as well would open the box twice.
bool isEditKey(const QKeyEvent *key)
{
    return key->key() == Qt::Key_F2 && (key->modifiers() & ~Qt::KeypadModifier) == 0;
}

// One filter per window for all of its buttons and editable controls.
class TillInput : public QObject {
public:
    explicit TillInput(QWidget *window) : QObject(window)
    {
        m_timer.setSingleShot(true);
        m_timer.setInterval(holdMilliseconds);
        connect(&m_timer, &QTimer::timeout, this, &TillInput::held);
    }

    void watch(QWidget *control, bool editable)
    {
        if (!m_watched.contains(control)) {
            m_watched.insert(control);
            control->installEventFilter(this);
        }
        if (editable)
            m_editable.insert(control);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event == m_ownPress)
            return false;  // our own right press, on its way to the window
        auto *control = static_cast<QWidget *>(watched);
        const bool editable = m_editable.contains(watched);
        switch (event->type()) {
        case QEvent::KeyPress: {
            const auto *key = static_cast<QKeyEvent *>(event);
            auto *button = qobject_cast<QAbstractButton *>(control);
            if (button && isEnter(key)) {
                if (!key->isAutoRepeat() && button->isEnabled())
                    button->click();
                return true;
            }
            if (editable && isEditKey(key)) {
                if (!key->isAutoRepeat())
                    edit(control);
                return true;
            }
            break;
        }
        case QEvent::ContextMenu:
            // The context menu key, or Shift+F10.
            if (editable &&
                static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
                edit(control);
                return true;
            }
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (editable)
                pressed(control, static_cast<QMouseEvent *>(event));
            break;
        case QEvent::MouseMove:
            if (control == m_finger) {
                if (m_held)
                    return true;  // the box has opened: the rest of the touch is spent
                const QPointF moved =
                    static_cast<QMouseEvent *>(event)->globalPosition() - m_start;
                if (moved.manhattanLength() > QGuiApplication::styleHints()->startDragDistance())
                    m_timer.stop();  // a finger on the move is not a hold
            }
            break;
        case QEvent::MouseButtonRelease:
            if (control == m_finger) {
                const bool held = m_held;
                forget();
                if (held)
                    return true;  // no click after the box
            }
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void pressed(QWidget *control, const QMouseEvent *event)
    {
        forget();
        if (event->button() != Qt::LeftButton || !fromTouch(event))
            return;  // the mouse keeps its own ways
        m_finger = control;
        m_start = event->globalPosition();
        m_timer.start();
    }

    void held()
    {
        QWidget *control = m_finger;
        if (!control || !control->isVisible())
            return;
        m_held = true;
        // Let go of the button, so that neither the lifting finger nor the box
        // closing over it can still click it.
        if (auto *button = qobject_cast<QAbstractButton *>(control))
            button->setDown(false);
        edit(control);
    }

    // Opens a control's input box the way the mouse does: a right press,
    // delivered to the control so that the window's handler for it runs.
    void edit(QWidget *control)
    {
        const QPointF local = QRectF(control->rect()).center();
        QMouseEvent press(QEvent::MouseButtonPress, local, control->mapToGlobal(local),
                          Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        const QScopedValueRollback<const QEvent *> sending(m_ownPress, &press);
        QCoreApplication::sendEvent(control, &press);
    }

    void forget()
    {
        m_timer.stop();
        m_finger = nullptr;
        m_held = false;
    }

    QSet<QObject *> m_watched;
    QSet<QObject *> m_editable;
    QPointer<QWidget> m_finger;  // the control a finger went down on
    QPointF m_start;             // where it went down, global
    bool m_held = false;         // its input box has opened
    const QEvent *m_ownPress = nullptr;  // a right press of ours being delivered
    QTimer m_timer;
};

}  // namespace

void equip(QWidget *window, const QList<QWidget *> &editable)
{
    auto *input = new TillInput(window);
    for (QAbstractButton *button :
         window->findChildren<QAbstractButton *>(Qt::FindDirectChildrenOnly))
        input->watch(button, false);
    for (QWidget *control : editable)
        input->watch(control, true);
}

void openEditor(QWidget *control)
{
    const QPointF local = QRectF(control->rect()).center();
    QMouseEvent press(QEvent::MouseButtonPress, local, control->mapToGlobal(local),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    const QPointer<QWidget> window = control->window();
    QCoreApplication::sendEvent(control, &press);
    // The keyboard goes back to the window the box was opened from, as a
    // window manager would hand it back.
    if (window && window->isVisible())
        window->activateWindow();
}

}  // namespace tillinput
