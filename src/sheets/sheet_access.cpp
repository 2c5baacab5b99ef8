#include "sheets/sheet_access.h"

#include "common/accessible_names.h"
#include "common/touch_keys.h"
#include "sheets/sheet_design.h"

#include <QLabel>
#include <QPointer>

namespace sheet {

namespace {

using a11y::said;

// How a row speaks of itself: its dish name, or its number where the name
// is blank.
QString rowTitle(const DishRow &row, const QLabel *dish)
{
    return said(dish ? dish->text() : QString(), QStringLiteral("第%1行").arg(row.number));
}

QString portionTitle(Portion portion, const QLabel *heading)
{
    return said(heading ? heading->text() : QString(),
                portion == Portion::Small ? QStringLiteral("小份") : QStringLiteral("大份"));
}

QString value(const QLabel *label)
{
    return said(label ? label->text() : QString(), a11y::emptyWord());
}

}  // namespace

void equipForAccess(QWidget &sheet)
{
    auto find = [&sheet](const QString &name) {
        return QPointer<QLabel>(sheet.findChild<QLabel *>(name, Qt::FindDirectChildrenOnly));
    };
    auto name = [&sheet](const QString &control, a11y::Namer namer) {
        if (QWidget *w = sheet.findChild<QWidget *>(control, Qt::FindDirectChildrenOnly))
            a11y::nameBy(w, std::move(namer));
    };

    for (const DishRow &row : dishRows()) {
        const QPointer<QLabel> dish = find(row.dishName);
        const QPointer<QLabel> small = find(row.smallHeading), large = find(row.largeHeading);
        // "<row> <portion> <what>", and the caption of `shown` where there is one.
        auto portion = [&row, dish, small, large](Portion p, const QString &what,
                                                  const QPointer<QLabel> &shown) -> a11y::Namer {
            return [&row, dish, heading = p == Portion::Small ? small : large, p, what, shown] {
                const QString named =
                    rowTitle(row, dish) + u' ' + portionTitle(p, heading) + u' ' + what;
                return shown ? named + u' ' + value(shown) : named;
            };
        };
        for (const QuantityButton &b : row.buttons)
            name(b.name, portion(b.portion, b.step < 0 ? QStringLiteral("减一")
                                                       : QStringLiteral("加一"), nullptr));
        name(row.smallQuantity,
             portion(Portion::Small, QStringLiteral("数量"), find(row.smallQuantity)));
        name(row.largeQuantity,
             portion(Portion::Large, QStringLiteral("数量"), find(row.largeQuantity)));
        name(row.smallPrice, portion(Portion::Small, QStringLiteral("单价"), find(row.smallPrice)));
        name(row.largePrice, portion(Portion::Large, QStringLiteral("单价"), find(row.largePrice)));
        name(row.lineTotal, [&row, dish, total = find(row.lineTotal)] {
            return rowTitle(row, dish) + QStringLiteral(" 金额 ") + value(total);
        });
        name(row.dishName, [&row, dish] {
            return QStringLiteral("第%1行 菜名 ").arg(row.number) + value(dish);
        });
    }
    for (const Heading &h : headings) {
        const QString headingName = QString::fromLatin1(h.name);
        const DishRow &top = dishRows().front();  // a row of the left half
        const bool left = headingName == top.smallHeading || headingName == top.largeHeading;
        const QString what = (left ? QStringLiteral("左栏 ") : QStringLiteral("右栏 ")) +
                             QString::fromUtf16(h.caption) + QStringLiteral("标题 ");
        name(headingName, [what, heading = find(headingName)] { return what + value(heading); });
    }
    name(QStringLiteral("面钱"), [subtotal = find(QStringLiteral("面钱"))] {
        return QStringLiteral("小计 ") + value(subtotal);
    });
    if (QWidget *list = sheet.findChild<QWidget *>(QStringLiteral("Picture1"),
                                                   Qt::FindDirectChildrenOnly))
        list->setAccessibleName(QStringLiteral("结算清单"));

    QList<QWidget *> editable;
    for (const QString &name : captionList())
        if (QLabel *label = find(name))
            editable.append(label);
    tillinput::equip(&sheet, editable);
}

}  // namespace sheet
