#include "main_window/main_access.h"

#include "common/accessible_names.h"
#include "common/categories.h"
#include "common/touch_keys.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>

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

// The bill's printed lines with where each stands in the label; its empty
// lines are left out.
QList<a11y::Line> billLines(const QLabel *bill)
{
    QList<a11y::Line> lines;
    if (!bill)
        return lines;
    const QStringList all = bill->text().split(u'\n');
    const QRect area = bill->contentsRect();
    const int height = bill->fontMetrics().lineSpacing();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QString line = all[i].simplified();
        if (!line.isEmpty())
            lines.append({line, QRect(area.left(), area.top() + int(i) * height, area.width(),
                                      height)});
    }
    return lines;
}

// A dish line of the bill as a screen reader says it, each number with what
// it counts: "牛肉面 2小份 0大份 20" is "牛肉面 小份 2 大份 0 金额 20", a
// blank heading said as 小份 or 大份. A line of another shape is said as it
// is printed.
QString spokenBillLine(const QString &line)
{
    static const QRegularExpression dish(QStringLiteral(
        R"(^(.+) ([-+]?[0-9.]+(?:[eE][-+]?[0-9]+)?)(\S*) ([-+]?[0-9.]+(?:[eE][-+]?[0-9]+)?)(\S*) (\S+)$)"));
    const QRegularExpressionMatch m = dish.match(line);
    if (!m.hasMatch())
        return line;
    const QString small = said(m.captured(3), QStringLiteral("小份"));
    const QString large = said(m.captured(5), QStringLiteral("大份"));
    return QStringLiteral("%1 %2 %3 %4 %5 金额 %6")
        .arg(m.captured(1), small, m.captured(2), large, m.captured(4), m.captured(6));
}

// The bill's lines as a screen reader reads them, its heading and total as
// printed.
QList<a11y::Line> spokenBillLines(const QLabel *bill)
{
    QList<a11y::Line> lines = billLines(bill);
    for (qsizetype i = 1; i + 1 < lines.size(); ++i)
        lines[i].text = spokenBillLine(lines[i].text);
    return lines;
}

// Tab goes as the eye reads the window: the categories 1 to 6, their totals
// and the grand total, the bill, the buttons under the bill from left to
// right, and last the two that clear or leave, "一键归零" and "关闭".
void orderTabs(QWidget &form2, const QList<QWidget *> &categoryButtons)
{
    QList<QWidget *> order = categoryButtons;
    for (const Category &c : categories)
        order.append(form2.findChild<QLabel *>(QString::fromLatin1(c.total)));
    order.append(form2.findChild<QLabel *>(QStringLiteral("L7")));
    order.append(form2.findChild<QLabel *>(QStringLiteral("Label2")));
    const QStringList last{QStringLiteral("Command1"), QStringLiteral("Cm4")};
    // The table buttons come after the bill's own: 挂单, 取单, 下单.
    const QStringList tables{QStringLiteral("HoldButton"), QStringLiteral("RecallButton"),
                             QStringLiteral("KitchenButton")};
    QList<QPushButton *> underBill;
    for (QPushButton *b : form2.findChildren<QPushButton *>(Qt::FindDirectChildrenOnly))
        if (!categoryButtons.contains(b) && !last.contains(b->objectName()) &&
            !tables.contains(b->objectName()))
            underBill.append(b);
    std::stable_sort(underBill.begin(), underBill.end(),
                     [](const QPushButton *a, const QPushButton *b) { return a->x() < b->x(); });
    for (QPushButton *b : underBill)
        order.append(b);
    for (const QString &name : tables)
        order.append(form2.findChild<QPushButton *>(name, Qt::FindDirectChildrenOnly));
    for (const QString &name : last)
        order.append(form2.findChild<QPushButton *>(name, Qt::FindDirectChildrenOnly));
    order.removeAll(nullptr);
    for (QWidget *w : order)
        if (!qobject_cast<QPushButton *>(w))
            w->setFocusPolicy(Qt::TabFocus);
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// "第3位，总计 28元": the bill's heading and its last line, the total.
QString billInShort(const QLabel *bill)
{
    const QList<a11y::Line> lines = billLines(bill);
    if (lines.isEmpty())
        return QString();
    if (lines.size() == 1)
        return lines.front().text;
    return lines.front().text + QStringLiteral("，") + lines.back().text;
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

    a11y::nameBy(&form2, [heading = find("Label1")] {
        return QStringLiteral("主窗口 ") + said(heading ? heading->text() : QString(), QString());
    });

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
        for (QLabel *quoting : {total.data(), summary.data()})
            if (quoting && button)
                a11y::nameFollows(quoting, button);
        if (button)
            a11y::editedAs(button, [&c, button] {
                return categoryTitle(c, button) + QStringLiteral(" 的名称");
            });
    }
    name(find("L7"), [total = find("L7")] { return QStringLiteral("总计 ") + value(total); });
    const QPointer<QLabel> bill = find("Label2");
    if (bill) {
        a11y::listBy(
            bill,
            [bill] {
                const QString shortly = billInShort(bill);
                return shortly.isEmpty() ? QStringLiteral("清单 空")
                                         : QStringLiteral("清单，") + shortly;
            },
            [bill] { return spokenBillLines(bill); });
    }
    auto button = [&form2](const char *name) {
        return form2.findChild<QPushButton *>(QString::fromLatin1(name),
                                              Qt::FindDirectChildrenOnly);
    };
    // After "清单" the new bill in short; after "一键归零" that all is cleared.
    if (QPushButton *make = button("Command2"))
        a11y::describeAfterPress(make, [bill] { return billInShort(bill); });
    // After "复制" that the bill is on the clipboard (a copy that failed
    // says so in its own message).
    if (QPushButton *copy = button("Command4"))
        a11y::describeAfterPress(copy, [bill] {
            if (!bill || bill->text().isEmpty())
                return QStringLiteral("清单 空");
            const auto lines = [](QString text) { return text.remove(u'\r'); };
            return lines(QGuiApplication::clipboard()->text()) == lines(bill->text())
                       ? QStringLiteral("已复制清单")
                       : QString();
        });
    if (QPushButton *reset = button("Command1"))
        a11y::describeAfterPress(reset, [bill, total = find("L7")] {
            const bool cleared =
                bill && bill->text().isEmpty() && total && total->text() == u"0";
            return cleared ? QStringLiteral("已归零") : QString();
        });

    name(find("Label9"), [number = find("Label9")] {
        return QStringLiteral("清单编号 ") + value(number);
    });

    orderTabs(form2, categoryButtons);
    tillinput::equip(&form2, categoryButtons);
}

}  // namespace main_window
