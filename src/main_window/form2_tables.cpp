// The main window's table buttons: 挂单 puts the order on the windows aside
// under a name, 取单 brings one back into the six sheets, 下单 prints on the
// kitchen printer what changed since the last ticket. The orders put aside
// live in till::OpenOrders; the windows' captions stay the data.

#include "main_window/form2.h"

#include "common/accessible_names.h"
#include "common/caption_number.h"
#include "common/categories.h"
#include "common/design.h"
#include "journal/report.h"
#include "main_window/bill_print.h"
#include "main_window/open_order_dialogs.h"
#include "payment/shop_settings.h"
#include "shop/shop_call.h"
#include "shop/shop_config.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "till/kitchen_ticket.h"
#include "till/open_orders.h"
#include "till/order_in_progress.h"

#include <QDebug>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

#include <tuple>
#include <utility>

namespace {

// What the cashier is told of the shop's tables: shown, and kept in the
// log for the owner to read later.
void tellShop(QWidget *parent, bool error, const QString &text)
{
    qInfo().noquote() << QStringLiteral("店铺：") + text;
    if (error)
        design::reportError(parent, text);
    else
        design::reportInfo(parent, text);
}


// The portions of `dishes` as the kitchen counts them.
QList<till::KitchenPortion> kitchenPortions(const QList<till::HeldDish> &dishes)
{
    QList<till::KitchenPortion> portions;
    for (const till::HeldDish &d : dishes) {
        if (d.smallQuantity != 0)
            portions.append({d.category, d.row, false, d.dish, till::portionName(d.smallHeading, false),
                             d.smallQuantity});
        if (d.largeQuantity != 0)
            portions.append({d.category, d.row, true, d.dish, till::portionName(d.largeHeading, true),
                             d.largeQuantity});
    }
    return portions;
}

// The owner's word when the kitchen printer failed and the order is still
// on the windows.
QString stillUnsent(const QString &why)
{
    return QStringLiteral("后厨单没有打印：%1\n这些菜仍算未下单，再按“下单”会重新打印。").arg(why);
}

}  // namespace

void Form2::showEvent(QShowEvent *event)
{
    Form::showEvent(event);
    showKitchenButton();
}

bool Form2::event(QEvent *event)
{
    // Back from 店铺信息 (or any window): the kitchen printer may have changed.
    if (event->type() == QEvent::WindowActivate)
        showKitchenButton();
    return Form::event(event);
}

void Form2::showKitchenButton()
{
    button(QStringLiteral("KitchenButton"))->setVisible(!payment::loadShop().kitchenPrinter.isEmpty());
}

QList<till::HeldDish> Form2::dishesOnSheets() const
{
    QList<till::HeldDish> dishes;
    for (const Category &c : categories)
        if (Program::current().sheetExists(c.number))  // a sheet never made holds nothing
            dishes += orderSheet(c.number).heldDishes(c.number);
    return dishes;
}

bool Form2::holdsOrder() const
{
    return (m_order && !m_order->isEmpty()) || !dishesOnSheets().isEmpty() ||
           captionValue(own("L7")->text()).value_or(0) != 0;
}

void Form2::setOpenOrders(till::OpenOrders *open)
{
    m_openOrders = open;
    connect(open, &till::OpenOrders::loaded, this, [this] {
        if (std::exchange(m_recallWhenLoaded, false) && isVisible())
            RecallButton_Click();
    });
}

void Form2::HoldButton_Click()
{
    holdOrder();
}

bool Form2::holdOrder()
{
    if (!m_order || !m_openOrders)
        return false;
    if (!holdsOrder()) {
        design::reportError(this, QStringLiteral("主窗口上没有点菜，没有可以挂起的单。"));
        return false;
    }
    const QString uid = m_order->heldUid();
    const std::optional<QString> name = main_window::askHoldName(
        this, m_order->heldName(), [this, uid](const QString &n) { return m_openOrders->nameInUse(n, uid); });
    if (!name)
        return false;
    holdAs(*name);
    return true;
}

void Form2::holdAs(const QString &name)
{
    sendToKitchen(false, name);  // a ticket that fails is told; its dishes stay unsent with the order
    const journal::Fen total = journal::toFen(captionValue(own("L7")->text()).value_or(0));
    m_openOrders->keep(m_order->setAside(name, dishesOnSheets(), total));
    clearWindow();
    a11y::sayNow(button(QStringLiteral("HoldButton")), QStringLiteral("已挂单：%1").arg(journal::singleLine(name)));
}

void Form2::RecallButton_Click()
{
    if (!m_order || !m_openOrders)
        return;
    if (!m_openOrders->isLoaded()) {
        m_recallWhenLoaded = true;  // the list opens as soon as it is read
        return;
    }
    const bool away = m_openOrders->inShop() && !m_openOrders->shopReachable();
    if (m_openOrders->listing().isEmpty()) {
        const QString none = away ? QStringLiteral("本机现在没有挂单。\n连不上店铺数据库，其他收银机的挂单现在看不到。")
                                  : QStringLiteral("现在没有挂单。");
        if (m_openOrders->inShop())
            tellShop(this, false, none);
        else
            design::reportInfo(this, none);
        return;
    }
    if (holdsOrder()) {
        QMessageBox ask(QMessageBox::Question, QStringLiteral("取单"),
                        QStringLiteral("主窗口上还有一单。\n先把它挂起，再取回另一单吗？"),
                        QMessageBox::NoButton, this);
        ask.setObjectName(QStringLiteral("先挂单"));
        ask.setFont(design::readingFont());
        QPushButton *hold = ask.addButton(QStringLiteral("先挂单"), QMessageBox::AcceptRole);
        ask.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        ask.setDefaultButton(hold);
        ask.exec();
        if (ask.clickedButton() != hold || !holdOrder())
            return;
    }
    const QList<till::TableEntry> listed = m_openOrders->listing();
    const QString note = m_openOrders->inShop() && !m_openOrders->shopReachable()
                             ? QStringLiteral("连不上店铺数据库：这里只有本机的挂单，其他收银机的挂单现在看不到。")
                             : QString();
    const std::optional<QString> uid =
        main_window::chooseHeldOrder(this, listed, m_openOrders->inShop(), note);
    if (!uid)
        return;
    for (const till::TableEntry &entry : listed)
        if (entry.held.uid == *uid)
            return bringBackFrom(entry);
}

namespace {

// Shown while the shop answers: only the answer closes it, so that a table
// the shop gave this till is never left taken and off the windows.
class WaitForShop : public QDialog {
public:
    WaitForShop(QWidget *parent, const QString &text) : QDialog(parent)
    {
        setObjectName(QStringLiteral("正在问店铺"));
        setWindowTitle(QStringLiteral("店铺数据库"));
        setFont(design::readingFont());
        auto *label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(label);
    }
    void reject() override {}
};

// Why 取单 leaves a table where it is.
QString heldElsewhere(const QString &table, const QString &till)
{
    return QStringLiteral("%1 正在 %2 收银机 上，不能在这里取回。\n"
                          "请在那台收银机上结账或挂单；那台收银机坏了，请店主用“强制取回”。")
        .arg(table, till);
}

// A server's answer, or why there is none.
template <class Answer>
struct Answered {
    std::optional<Answer> answer;
    QString why;
};
using Taken = Answered<shop::TakeAnswer>;

// Runs `work` on the shop's server while a small window says `text`; the
// window goes on painting meanwhile.
template <class Answer>
Answered<Answer> askShop(QWidget *parent, const QString &text,
                         std::function<std::optional<Answer>(shop::pg::Connection &)> work)
{
    const std::optional<shop::pg::Address> address = shop::loadAddress();
    if (!address)
        return {std::nullopt, QStringLiteral("本机没有加入店铺")};
    auto result = std::make_shared<Answered<Answer>>();
    auto answered = std::make_shared<bool>(false);
    WaitForShop wait(parent, text);
    QPointer<WaitForShop> waiting(&wait);
    shop::callShop<Answer>(parent, *address, std::move(work),
                           [result, answered, waiting](std::optional<Answer> answer, QString why) {
                               *result = {std::move(answer), why};
                               *answered = true;
                               if (waiting)
                                   waiting->accept();
                           });
    if (!*answered)
        wait.exec();
    return *result;
}

// The take (or the owner's release) of `uid` for `tillUid`.
Taken askTake(QWidget *parent, const QString &text, const QString &tillUid, const QString &uid, bool take)
{
    return askShop<shop::TakeAnswer>(parent, text, [tillUid, uid, take](shop::pg::Connection &db) {
        return shop::takeTable(db, tillUid, uid, take);
    });
}

}  // namespace

void Form2::bringBackFrom(const till::TableEntry &entry)
{
    const QString name = journal::singleLine(entry.held.name);
    const bool mine = entry.putBy == QStringLiteral("本机");
    if (!entry.inShop || !m_openOrders->shopReachable())
        return (void)bringBack(entry.held.uid);
    if (entry.heldBy != 0) {
        tellShop(this, true, heldElsewhere(name, entry.heldByName));
        return;
    }
    const Taken taken = askTake(this, QStringLiteral("正在向店铺数据库取回“%1”…").arg(name), m_openOrders->tillUid(),
                                entry.held.uid, true);
    if (!taken.answer) {
        // Away just now: this till's own table comes back as it has it;
        // another till's is not this till's to take.
        if (mine && m_openOrders->find(entry.held.uid)) {
            bringBack(entry.held.uid);
            return;
        }
        tellShop(this, true, QStringLiteral("连不上店铺数据库（%1），“%2”是 %3 收银机挂的，现在不能取回。")
                                      .arg(taken.why, name, entry.putBy));
        return;
    }
    using Outcome = shop::TakeAnswer::Outcome;
    switch (taken.answer->outcome) {
    case Outcome::Taken:
    case Outcome::Freed: {
        journal::OpenOrder open{entry.held.uid, taken.answer->name, entry.held.heldAt, entry.held.total,
                                entry.held.dishCount(), taken.answer->state, {}};
        std::optional<till::HeldOrder> held = till::HeldOrder::fromOpen(open);
        if (!held) {
            tellShop(this, true, QStringLiteral("挂单“%1”是较新版本的程序保存的，这个版本无法取回。").arg(name));
            return;
        }
        held->total = entry.held.total;
        m_openOrders->adopt(*held);
        bringBack(held->uid);
        return;
    }
    case Outcome::Held:
        tellShop(this, true, heldElsewhere(name, taken.answer->holderName));
        return;
    case Outcome::Closed:
        if (m_openOrders->find(entry.held.uid))
            m_openOrders->ended(entry.held.uid, false);
        tellShop(this, false, QStringLiteral("“%1”已经在别的收银机上结账或清掉了。").arg(name));
        return;
    case Outcome::Missing:
        if (!m_openOrders->find(entry.held.uid) || !bringBack(entry.held.uid))
            tellShop(this, true, QStringLiteral("店铺数据库里找不到“%1”。").arg(name));
        return;
    }
}

void Form2::freeTable()
{
    if (!m_openOrders || !m_openOrders->inShop())
        return tellShop(this, false, QStringLiteral("本机没有加入店铺，没有别的收银机上的挂单。"));
    // As the shop has them now, not as last seen: the owner acts on it.
    const Answered<QList<shop::ShopTable>> open = askShop<QList<shop::ShopTable>>(
        this, QStringLiteral("正在读取店铺的挂单…"), [](shop::pg::Connection &db) { return shop::openTables(db); });
    if (!open.answer)
        return tellShop(this, true, QStringLiteral("连不上店铺数据库（%1），现在不能强制取回。").arg(open.why));
    m_openOrders->setShopView(shop::TablesView{true, *open.answer, {}});
    QList<till::TableEntry> held;
    for (const till::TableEntry &entry : m_openOrders->listing())
        if (entry.heldBy != 0)
            held.append(entry);
    if (held.isEmpty())
        return tellShop(this, false, QStringLiteral("现在没有挂单在别的收银机上。"));
    const std::optional<QString> uid = main_window::chooseHeldOrder(this, held, true, QStringLiteral("强制取回哪一单？"));
    if (!uid)
        return;
    const auto entry = std::find_if(held.cbegin(), held.cend(), [&](const till::TableEntry &e) { return e.held.uid == *uid; });
    const QString name = journal::singleLine(entry->held.name);
    QMessageBox ask(QMessageBox::Warning, QStringLiteral("强制取回"),
                    QStringLiteral("“%1”正在 %2 收银机 上。\n只有那台收银机坏了或再也开不了的时候才强制取回："
                                   "取回以后，哪台收银机都可以取单，那台收银机上的这一单不再算数。\n确定强制取回吗？")
                        .arg(name, entry->heldByName),
                    QMessageBox::NoButton, this);
    ask.setObjectName(QStringLiteral("强制取回"));
    ask.setFont(design::readingFont());
    QPushButton *free = ask.addButton(QStringLiteral("强制取回"), QMessageBox::DestructiveRole);
    QPushButton *keep = ask.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    ask.setDefaultButton(keep);
    ask.exec();
    if (ask.clickedButton() != free)
        return;
    const Taken freed = askTake(this, QStringLiteral("正在强制取回“%1”…").arg(name), m_openOrders->tillUid(), *uid, false);
    if (!freed.answer)
        return tellShop(this, true, QStringLiteral("没有强制取回：%1").arg(freed.why));
    if (freed.answer->outcome == shop::TakeAnswer::Outcome::Closed)
        return tellShop(this, false, QStringLiteral("“%1”已经结账或清掉了。").arg(name));
    if (freed.answer->outcome != shop::TakeAnswer::Outcome::Freed)
        return tellShop(this, true, QStringLiteral("店铺数据库里找不到“%1”。").arg(name));
    tellShop(this, false, QStringLiteral("已强制取回“%1”，现在哪台收银机都可以取单。").arg(name));
}

bool Form2::bringBack(const QString &uid)
{
    if (!m_order || !m_openOrders || holdsOrder())
        return false;
    const std::optional<till::HeldOrder> held = m_openOrders->find(uid);
    if (!held)
        return false;
    if (held->dishes.isEmpty()) {
        design::reportError(this, QStringLiteral("挂单“%1”是较新版本的程序保存的，这个版本无法取回。").arg(held->name));
        return false;
    }
    QStringList changes;
    {
        // Kept as the order on the windows once, whole: never half brought back.
        const QSignalBlocker once(m_order);
        till::HeldOrder back;
        std::tie(back, changes) = putOnSheets(*held);
        m_order->broughtBack(back);
    }
    keepOnWindows();
    m_openOrders->bringBack(uid);
    showTable(held->name);
    a11y::sayNow(button(QStringLiteral("RecallButton")),
                 QStringLiteral("已取回：%1，合计 %2 元").arg(journal::singleLine(held->name), own("L7")->text()));
    if (!changes.isEmpty())
        design::reportInfo(this, QStringLiteral("“%1”挂起以后价格有改动，已按现在的价格计算：\n%2")
                                     .arg(held->name, changes.join(QLatin1Char('\n'))));
    return true;
}

bool Form2::putBackAside()
{
    if (!m_order || !m_openOrders || m_order->heldUid().isEmpty())
        return false;
    const QList<till::HeldDish> dishes = dishesOnSheets();
    if (dishes.isEmpty())
        return false;  // nothing left on it: it ends, and is no longer put aside
    const journal::Fen total = journal::toFen(captionValue(own("L7")->text()).value_or(0));
    m_openOrders->keep(m_order->setAside(m_order->heldName(), dishes, total));
    return true;
}

void Form2::KitchenButton_Click()
{
    sendToKitchen(true);
}

bool Form2::sendToKitchen(bool pressed, const QString &table, QString *failure)
{
    const QString printer = payment::loadShop().kitchenPrinter;
    if (printer.isEmpty() || !m_order)
        return true;
    const QList<till::HeldDish> before = m_order->sentToKitchen();
    const QList<till::HeldDish> now = dishesOnSheets();
    till::KitchenTicket ticket;
    ticket.lines = till::kitchenChanges(kitchenPortions(before), kitchenPortions(now));
    if (ticket.lines.isEmpty()) {
        if (pressed)
            design::reportInfo(this, QStringLiteral("没有新点或退掉的菜，不用下单。"));
        return true;
    }
    ticket.at = QDateTime::currentDateTime();
    // The number is used only once the spooler has the ticket: one that did
    // not print leaves no gap.
    ticket.number = payment::upcomingKitchenTicketNumber(ticket.at.date());
    ticket.till = payment::receiptTillNumber();
    ticket.table = !table.isEmpty()                ? table
                   : !m_order->heldName().isEmpty() ? m_order->heldName()
                   : m_order->current().billNumber
                       ? QStringLiteral("第%1位").arg(*m_order->current().billNumber)
                       : QStringLiteral("散客");
    // The spooler took it but the printer failed: unsent again, if the
    // order on the windows is still the one it was for. An order that has
    // ended since cannot send them again: the owner is told what the kitchen
    // is missing.
    QPointer<till::OrderInProgress> order = m_order;
    const QStringList lines = till::kitchenLineTexts(ticket.lines);
    auto late = [this, order, before, now, lines](const QString &why) {
        if (order && order->sentToKitchen() == now && order->heldUid() == m_order->heldUid()) {
            order->setSentToKitchen(before);
            design::reportError(this, stillUnsent(why));
        } else {
            const QString missed = QStringLiteral("后厨单没有打印：%1\n那一单已经不在窗口上，厨房没有收到这些菜，请告诉厨房：\n%2")
                                       .arg(why, lines.join(u'\n'));
            qWarning().noquote() << missed;  // kept in the log after the box is closed
            design::reportError(this, missed);
        }
    };
    const QString refused = bill::printOnPrinter(printer, till::kitchenTicketPage(ticket), 0, this, late);
    if (!refused.isEmpty()) {
        if (failure)
            *failure = refused;
        else
            design::reportError(this, stillUnsent(refused));
        return false;
    }
    payment::kitchenTicketUsed(ticket.at.date(), ticket.number);
    m_order->setSentToKitchen(now);
    // An order brought back keeps what the kitchen has with it in the
    // journal, so that a restart never sends it again.
    // (One taken from the shop and back on the windows after a restart is
    // known again here first.)
    if (!m_order->heldUid().isEmpty() && m_openOrders) {
        const journal::Fen total = journal::toFen(captionValue(own("L7")->text()).value_or(0));
        std::optional<till::HeldOrder> held = m_openOrders->find(m_order->heldUid());
        if (!held) {
            held = m_order->snapshot(now, total);
            m_openOrders->adopt(*held);
        }
        held->dishes = now;
        held->total = total;
        held->sentToKitchen = now;
        m_openOrders->update(*held);
    }
    return true;
}

bool Form2::kitchenHasItAllBeforePaying()
{
    QString failure;
    while (!sendToKitchen(false, {}, &failure)) {
        const QStringList unsent = till::kitchenLineTexts(
            till::kitchenChanges(kitchenPortions(m_order->sentToKitchen()), kitchenPortions(dishesOnSheets())));
        QMessageBox ask(QMessageBox::Warning, QStringLiteral("厨房单没有打印"),
                        QStringLiteral("厨房单没有打印：%1\n厨房还没有收到：\n%2\n重试，还是仍然结账（厨房不会收到这些菜）？")
                            .arg(failure, unsent.join(u'\n')),
                        QMessageBox::NoButton, this);
        ask.setObjectName(QStringLiteral("厨房单没有打印"));
        ask.setFont(design::readingFont());
        QPushButton *retry = ask.addButton(QStringLiteral("重试"), QMessageBox::AcceptRole);
        QPushButton *payAnyway = ask.addButton(QStringLiteral("仍然结账"), QMessageBox::DestructiveRole);
        QPushButton *cancel = ask.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        ask.setDefaultButton(retry);
        ask.setEscapeButton(cancel);
        ask.exec();
        if (ask.clickedButton() == payAnyway)
            return true;
        if (ask.clickedButton() != retry)
            return false;  // the order stays on the windows, its dishes unsent
    }
    return true;
}
