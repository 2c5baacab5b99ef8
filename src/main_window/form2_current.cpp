// The order on the main window and the six sheets, kept in the journal as it
// changes (each hand-off, 清单, 下单, the opening of 结账), and brought back
// onto the windows after a crash or a power cut. The journal writes it on its
// own thread; the window only hands it over.

#include "main_window/form2.h"

#include "common/caption_number.h"
#include "common/categories.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "till/current_order.h"
#include "till/journal_link.h"
#include "till/open_orders.h"
#include "till/order_in_progress.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUuid>

#include <tuple>

void Form2::setOrder(till::OrderInProgress *order)
{
    m_order = order;
    connect(order, &till::OrderInProgress::changed, this, &Form2::keepOnWindows);
}

void Form2::keepOnWindows()
{
    if (!m_order)
        return;
    const journal::Fen total = journal::toFen(m_order->current().grandTotal);
    const till::HeldOrder held = m_order->snapshot(dishesOnSheets(), total);
    if (held.dishes.isEmpty() && held.uid.isEmpty() && m_order->isEmpty())
        till::dropCurrentOrder(m_order->uid());  // nothing ordered (any more): nothing to bring back
    else
        till::keepCurrentOrder(till::toCurrent(m_order->uid(), held));
}

std::pair<till::HeldOrder, QStringList> Form2::putOnSheets(const till::HeldOrder &held)
{
    clearWindow();
    for (const Category &c : categories) {
        const QList<till::HeldDish> dishes = till::dishesOf(held.dishes, c.number);
        if (!dishes.isEmpty() || Program::current().sheetExists(c.number))
            orderSheet(c.number).bringBack(dishes, button(QString::fromLatin1(c.button))->text());
    }
    orderSheet(1).sumGrandTotal();
    const QStringList changes = till::changesSince(held.dishes, dishesOnSheets());
    till::HeldOrder back = held;
    if (!changes.isEmpty()) {
        // The bill built before no longer tells the prices: "清单" builds it again.
        back.billNumber.reset();
        back.billText.clear();
        back.printed = back.copied = false;
    }
    if (back.billNumber)
        showBill(back.billText);
    return {back, changes};
}

QString Form2::restoreOnWindows(const QList<journal::CurrentOrder> &stored)
{
    if (!m_order || !m_openOrders)
        return QString();
    QStringList told;
    for (const journal::CurrentOrder &kept : stored) {
        if (kept.uid == m_order->uid())
            continue;  // this run's own
        std::optional<till::HeldOrder> held = till::fromCurrent(kept);
        if (!held)
            continue;  // kept by a later version: left as it is
        if (held->dishes.isEmpty()) {
            till::dropCurrentOrder(kept.uid);  // nothing was ordered on it
            continue;
        }
        if (!holdsOrder()) {
            QStringList changes;
            {
                const QSignalBlocker once(m_order);
                till::HeldOrder back;
                std::tie(back, changes) = putOnSheets(*held);
                m_order->restore(kept.uid, back);
            }
            showTable(held->name);
            keepOnWindows();
            if (!held->uid.isEmpty())
                m_openOrders->bringBack(held->uid);
            told << QStringLiteral("上次未完成的订单已恢复：合计 %1 元").arg(own("L7")->text());
            if (!changes.isEmpty())
                told << QStringLiteral("其间价格有改动，已按现在的价格计算：\n%1").arg(changes.join(u'\n'));
            continue;
        }
        // The windows hold another order already: this one waits among
        // those put aside, in the write that drops it from the windows.
        if (held->uid.isEmpty())
            held->uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (held->name.isEmpty())
            held->name = journal::freeOpenName(QStringLiteral("上次未完成的订单"),
                                               [&](const QString &n) { return m_openOrders->nameInUse(n); });
        held->heldAt = QDateTime::currentDateTime();
        held->closesCurrent = kept.uid;
        m_openOrders->keep(*held);
        told << QStringLiteral("上次未完成的订单（合计 %1 元）已挂起为“%2”，可按“取单”取回。")
                    .arg(captionText(double(held->total) / 100), held->name);
    }
    return told.join(u'\n');
}
