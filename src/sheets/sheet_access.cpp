#include "sheets/sheet_access.h"

#include "common/accessible_names.h"
#include "common/categories.h"
#include "common/touch_keys.h"
#include "sheets/settle_list.h"
#include "sheets/sheet_design.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTimer>

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

// A settled row, printed as the dish name, three spaces and the line total,
// as a screen reader says it: "牛肉面 金额 20".
QString spokenSettledLine(const QString &printed)
{
    const qsizetype gap = printed.lastIndexOf(QStringLiteral("   "));
    if (gap < 0)
        return printed.simplified();
    const QString dish = printed.left(gap).simplified();
    const QString amount = QStringLiteral("金额 ") + printed.mid(gap + 3).simplified();
    return dish.isEmpty() ? amount : dish + u' ' + amount;
}

// The settle list's lines, one below the other from its top, as a screen
// reader reads them: without runs of blanks or line breaks.
QList<a11y::Line> settledLines(const SettleList *list)
{
    QList<a11y::Line> lines;
    if (!list)
        return lines;
    const QRect area = list->contentsRect();
    const double height = list->lineHeight();
    for (qsizetype i = 0; i < list->lines().size(); ++i)
        lines.append({spokenSettledLine(list->lines()[i]),
                      QRect(area.left(), area.top() + int(i * height), area.width(), int(height))});
    return lines;
}

// What a window title left blank is replaced by: the sheet's category.
QString categoryWord(const QWidget &sheet)
{
    for (const Category &c : categories)
        if (sheet.objectName() == QLatin1String(c.sheet))
            return QStringLiteral("类别%1").arg(c.number);
    return sheet.objectName();
}

// The menu key (or Shift+F10) on a row's "-" or "+" offers the row's texts
// for editing, each through the same input box as a right press on it, so
// that a menu can be set up without a mouse. One menu per sheet serves every
// row; it lives as long as the sheet, so a screen reader never hears of
// entries that are gone.
class RowMenu : public QObject {
public:
    explicit RowMenu(QWidget &sheet) : QObject(&sheet), m_sheet(sheet), m_menu(new QMenu(&sheet))
    {
        static constexpr std::pair<const char16_t *, QString DishRow::*> entries[] = {
            {u"修改菜名", &DishRow::dishName},          {u"修改小份价格", &DishRow::smallPrice},
            {u"修改大份价格", &DishRow::largePrice},    {u"修改小份名称", &DishRow::smallHeading},
            {u"修改大份名称", &DishRow::largeHeading},
        };
        for (const auto &[text, label] : entries)
            connect(m_menu->addAction(QString::fromUtf16(text)), &QAction::triggered, this,
                    [this, label = label] { chosen(m_row->*label); });
    }

    void watch(QWidget *button, const DishRow &row)
    {
        m_rows.insert(button, &row);
        button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!asksForMenu(event))
            return QObject::eventFilter(watched, event);
        offer(static_cast<QWidget *>(watched), *m_rows.value(watched));
        return true;
    }

private:
    // The menu key becomes a keyboard context menu request on every
    // platform; Shift+F10 does only on some, and is read here too.
    static bool asksForMenu(const QEvent *event)
    {
        if (event->type() == QEvent::ContextMenu)
            return static_cast<const QContextMenuEvent *>(event)->reason() ==
                   QContextMenuEvent::Keyboard;
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<const QKeyEvent *>(event);
        return key->key() == Qt::Key_F10 && !key->isAutoRepeat() &&
               (key->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
    }

    QLabel *label(const QString &name) const
    {
        return m_sheet.findChild<QLabel *>(name, Qt::FindDirectChildrenOnly);
    }

    void offer(QWidget *button, const DishRow &row)
    {
        m_row = &row;
        m_menu->setAccessibleName(rowTitle(row, label(row.dishName)) + QStringLiteral(" 修改"));
        // Opened on its first entry, so that a screen reader says where the
        // keys are at once.
        m_menu->popup(button->mapToGlobal(button->rect().center()));
        m_menu->setActiveAction(m_menu->actions().constFirst());
    }

    // The box opens once the menu has gone and whoever chose the entry (a
    // key, the mouse, a screen reader) has been answered.
    void chosen(const QString &name)
    {
        m_menu->close();
        const QPointer<QLabel> target = label(name);
        QTimer::singleShot(0, this, [target] {
            if (target)
                tillinput::openEditor(target);
        });
    }

    QWidget &m_sheet;
    QMenu *m_menu;
    const DishRow *m_row = &dishRows().front();
    QHash<const QObject *, const DishRow *> m_rows;
};

}  // namespace

void equipForAccess(QWidget &sheet)
{
    auto find = [&sheet](const QString &name) {
        return QPointer<QLabel>(sheet.findChild<QLabel *>(name, Qt::FindDirectChildrenOnly));
    };
    auto control = [&sheet](const QString &name) {
        return sheet.findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
    };
    auto name = [&control](const QString &name, a11y::Namer namer) {
        if (QWidget *w = control(name))
            a11y::nameBy(w, std::move(namer));
    };
    // The names of `names` quote the caption of `source`.
    auto follow = [&control](const QStringList &names, QLabel *source) {
        for (const QString &n : names)
            if (QWidget *w = control(n); w && source)
                a11y::nameFollows(w, source);
    };
    auto describe = [&sheet](const QString &button, a11y::Namer describer,
                             a11y::Namer restingWords = {}) {
        if (auto *b = sheet.findChild<QAbstractButton *>(button, Qt::FindDirectChildrenOnly))
            a11y::describeAfterPress(b, std::move(describer), std::move(restingWords));
    };
    // What the input box of the label `name` edits.
    auto edited = [&control](const QString &name, a11y::Namer what) {
        if (QWidget *w = control(name))
            a11y::editedAs(w, std::move(what));
    };

    a11y::nameBy(&sheet, [&sheet] {
        return said(sheet.windowTitle(), categoryWord(sheet)) + QStringLiteral(" 点菜单");
    });

    auto *rowMenu = new RowMenu(sheet);
    for (const DishRow &row : dishRows()) {
        const QPointer<QLabel> dish = find(row.dishName);
        const QPointer<QLabel> small = find(row.smallHeading), large = find(row.largeHeading);
        QStringList smallNames{row.smallQuantity, row.smallPrice}, largeNames{row.largeQuantity,
                                                                              row.largePrice};
        // "<row> <portion> <what>", and the caption of `shown` where there is one.
        auto portion = [&row, dish, small, large](Portion p, const QString &what,
                                                  const QPointer<QLabel> &shown) -> a11y::Namer {
            return [&row, dish, heading = p == Portion::Small ? small : large, p, what, shown] {
                const QString named =
                    rowTitle(row, dish) + u' ' + portionTitle(p, heading) + u' ' + what;
                return shown ? named + u' ' + value(shown) : named;
            };
        };
        for (const QuantityButton &b : row.buttons) {
            name(b.name, portion(b.portion, b.step < 0 ? QStringLiteral("减一")
                                                       : QStringLiteral("加一"), nullptr));
            (b.portion == Portion::Small ? smallNames : largeNames) << b.name;
            // After a press: the stepped quantity and the row's new amount;
            // otherwise the unit price and the quantity.
            const QPointer<QLabel> quantity =
                find(b.portion == Portion::Small ? row.smallQuantity : row.largeQuantity);
            const QPointer<QLabel> price =
                find(b.portion == Portion::Small ? row.smallPrice : row.largePrice);
            describe(
                b.name,
                [quantity, total = find(row.lineTotal)] {
                    return QStringLiteral("数量 %1，金额 %2").arg(value(quantity), value(total));
                },
                [quantity, price] {
                    return QStringLiteral("单价 %1，数量 %2").arg(value(price), value(quantity));
                });
            if (QWidget *w = control(b.name))
                rowMenu->watch(w, row);
        }
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
        edited(row.dishName, [&row, dish] { return rowTitle(row, dish) + QStringLiteral(" 的菜名"); });
        for (const Portion p : {Portion::Small, Portion::Large})
            edited(p == Portion::Small ? row.smallPrice : row.largePrice,
                   [&row, dish, heading = p == Portion::Small ? small : large, p] {
                       return rowTitle(row, dish) + QStringLiteral(" 的") +
                              portionTitle(p, heading) + QStringLiteral("价格");
                   });
        follow(smallNames + largeNames + QStringList{row.lineTotal}, dish);
        follow(smallNames, small);
        follow(largeNames, large);
    }
    for (const Heading &h : headings) {
        const QString headingName = QString::fromLatin1(h.name);
        const DishRow &top = dishRows().front();  // a row of the left half
        const bool left = headingName == top.smallHeading || headingName == top.largeHeading;
        const QString what = (left ? QStringLiteral("左栏 ") : QStringLiteral("右栏 ")) +
                             QString::fromUtf16(h.caption) + QStringLiteral("标题 ");
        name(headingName, [what, heading = find(headingName)] { return what + value(heading); });
        edited(headingName, [left, h] {
            return (left ? QStringLiteral("左栏 的") : QStringLiteral("右栏 的")) +
                   QString::fromUtf16(h.caption) + QStringLiteral("名称");
        });
    }
    name(QStringLiteral("面钱"), [subtotal = find(QStringLiteral("面钱"))] {
        return QStringLiteral("小计 ") + value(subtotal);
    });
    describe(QStringLiteral("Command1"), [subtotal = find(QStringLiteral("面钱"))] {
        return QStringLiteral("小计 ") + value(subtotal);
    });
    describe(QStringLiteral("Command59"), [find] {
        for (const DishRow &row : dishRows())
            for (const QString &quantity : {row.smallQuantity, row.largeQuantity})
                if (const QPointer<QLabel> label = find(quantity); label && label->text() != u"0")
                    return QString();
        return QStringLiteral("已清零");
    });
    if (QPointer<SettleList> list = sheet.findChild<SettleList *>(QStringLiteral("Picture1"),
                                                                  Qt::FindDirectChildrenOnly)) {
        a11y::listBy(
            list,
            [list] {
                return list->lines().isEmpty() ? QStringLiteral("结算清单 空")
                                               : QStringLiteral("结算清单");
            },
            [list] { return settledLines(list); });
        // Tab reaches the list and the subtotal right after "结算", which
        // fills them.
        if (QWidget *settle = control(QStringLiteral("Command1")))
            QWidget::setTabOrder(settle, list);
        if (QWidget *subtotal = control(QStringLiteral("面钱"))) {
            subtotal->setFocusPolicy(Qt::TabFocus);
            QWidget::setTabOrder(list, subtotal);
        }
        // Settling and clearing print the list anew.
        for (const char *button : {"Command1", "Command59"})
            if (auto *b = sheet.findChild<QAbstractButton *>(QString::fromLatin1(button),
                                                             Qt::FindDirectChildrenOnly))
                QObject::connect(b, &QAbstractButton::clicked, list, [list] {
                    a11y::linesChanged(list);
                });
    }

    QList<QWidget *> editable;
    for (const QString &name : captionList())
        if (QLabel *label = find(name))
            editable.append(label);
    tillinput::equip(&sheet, editable);
}

}  // namespace sheet
