#include "common/accessible_names.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QHash>
#include <QWidget>

namespace a11y {

namespace {

QHash<const QObject *, Namer> &namers()
{
    static QHash<const QObject *, Namer> all;
    return all;
}

// The accessible face of a named control: a button (which can be pressed) or
// a piece of static text, whose name comes from its namer.
class NamedControl : public QAccessibleWidget {
public:
    NamedControl(QWidget *control, Namer namer)
        : QAccessibleWidget(control, qobject_cast<QAbstractButton *>(control)
                                         ? QAccessible::Button
                                         : QAccessible::StaticText),
          m_namer(std::move(namer))
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return m_namer();
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

    Namer m_namer;
};

// Consulted before the toolkit's own interfaces, since factories installed
// later are asked first.
QAccessibleInterface *namedControlFactory(const QString &, QObject *object)
{
    const auto found = namers().constFind(object);
    if (found == namers().constEnd() || !object->isWidgetType())
        return nullptr;
    return new NamedControl(static_cast<QWidget *>(object), *found);
}

}  // namespace

void nameBy(QWidget *control, Namer namer)
{
    static const bool installed = [] {
        QAccessible::installFactory(namedControlFactory);
        return true;
    }();
    Q_UNUSED(installed);
    if (!namers().contains(control))
        QObject::connect(control, &QObject::destroyed,
                         [control] { namers().remove(control); });
    namers().insert(control, std::move(namer));
    // Setting a caption already made the toolkit's own interface for the
    // control and cached it; drop it so that the next question reaches ours.
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
    if (face && !dynamic_cast<NamedControl *>(face))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(face));
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
