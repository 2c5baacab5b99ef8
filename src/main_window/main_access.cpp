#include "main_window/main_access.h"

#include "common/accessible_names.h"
#include "common/categories.h"
#include "common/touch_keys.h"

#include <QFontMetrics>
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
            [bill] { return billLines(bill); });
    }
    auto button = [&form2](const char *name) {
        return form2.findChild<QPushButton *>(QString::fromLatin1(name),
                                              Qt::FindDirectChildrenOnly);
    };
    // After "清单" the new bill in short; after "一键归零" that all is cleared.
    if (QPushButton *make = button("Command2"))
        a11y::describeAfterPress(make, [bill] { return billInShort(bill); });
    if (QPushButton *reset = button("Command1"))
        a11y::describeAfterPress(reset, [bill, total = find("L7")] {
            const bool cleared =
                bill && bill->text().isEmpty() && total && total->text() == u"0";
            return cleared ? QStringLiteral("已归零") : QString();
        });

    name(find("Label9"), [number = find("Label9")] {
        return QStringLiteral("清单编号 ") + value(number);
    });

    tillinput::equip(&form2, categoryButtons);
}

}  // namespace main_window
