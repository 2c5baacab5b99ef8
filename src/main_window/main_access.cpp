#include "main_window/main_access.h"

#include "common/accessible_names.h"
#include "common/categories.h"
#include "common/touch_keys.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace main_window {

namespace {

using a11y::said;

QString categoryTitle(const Category &c, const QPushButton *button)
{
    return said(button ? button->text() : QString(), QStringLiteral("类别%1").arg(c.number));
}

QString value(const QLabel *label)
{
    return said(label ? label->text() : QString(), a11y::emptyWord());
}

}  // namespace

void equipForAccess(QWidget &form2)
{
    // The bill label lives inside its scrolling pane, the others directly on
    // the window.
    auto find = [&form2](const char *name) {
        return QPointer<QLabel>(form2.findChild<QLabel *>(QString::fromLatin1(name)));
    };
    auto name = [](QWidget *control, a11y::Namer namer) {
        if (control)
            a11y::nameBy(control, std::move(namer));
    };

    QList<QWidget *> categoryButtons;
    for (const Category &c : categories) {
        const QPointer<QPushButton> button = form2.findChild<QPushButton *>(
            QString::fromLatin1(c.button), Qt::FindDirectChildrenOnly);
        if (button)
            categoryButtons.append(button);
        name(button, [&c, button] {
            return said(button ? button->text() : QString(),
                        QStringLiteral("类别%1 未命名").arg(c.number));
        });
        const QPointer<QLabel> total = find(c.total);
        name(total, [&c, button, total] {
            return categoryTitle(c, button) + QStringLiteral(" 小计 ") + value(total);
        });
        const QPointer<QLabel> summary = find(c.summary);
        name(summary, [&c, button, summary] {
            return categoryTitle(c, button) + QStringLiteral(" 订单 ") + value(summary);
        });
    }
    name(find("L7"), [total = find("L7")] { return QStringLiteral("总计 ") + value(total); });
    name(find("Label2"), [bill = find("Label2")] {
        return said(bill ? bill->text() : QString(), QStringLiteral("清单 空"));
    });
    name(find("Label9"), [number = find("Label9")] {
        return QStringLiteral("清单编号 ") + value(number);
    });

    tillinput::equip(&form2, categoryButtons);
}

}  // namespace main_window
