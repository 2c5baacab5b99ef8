#pragma once
// The main window: six category buttons with their subtotals and the grand
// total on the left; the numbered bill with "清单", "复制" and "打印" on the
// right. Its controls keep their design positions whatever the window's size.

#include "common/form.h"
#include "journal/journal.h"
#include "till/held_order.h"
#include "till/open_orders.h"

#include <utility>

class QLabel;
class QPushButton;

namespace till {
class OrderInProgress;
class OpenOrders;
}

class Form2 : public Form {
    Q_OBJECT

public:
    Form2();

    void openCategory(int category);      // C1_Click ... c6_Click
    void renameCategory(QPushButton *button);  // right button on a category button
    void Cm4_Click();       // "关闭"
    void Command1_Click();  // "一键归零"
    void Command2_Click();  // "清单"
    void Command3_Click();  // "打印"
    void Command4_Click();  // "复制"
    void CheckoutButton_Click();  // "结账"
    void OwnerButton_Click();     // "店主": the owner's menu
    void HoldButton_Click();      // "挂单": the order put aside under a name
    void RecallButton_Click();    // "取单": an order put aside brought back
    void KitchenButton_Click();   // "下单": what changed, to the kitchen printer
    // The link to the shop's database in a few words; empty hides it.
    void showShopLink(const QString &text);

    // The order in progress that the window's bill, print, copy, payment
    // and clearing go to; set by the shell.
    // Each change to it is kept in the journal as the order on the windows.
    void setOrder(till::OrderInProgress *order);
    // The orders put aside that 挂单 and 取单 go to; set by the shell.
    void setOpenOrders(till::OpenOrders *open);
    // At the program's end: an order brought back with 取单 and still on
    // the windows goes back among the orders put aside rather than ending
    // unpaid. True when it did.
    bool putBackAside();
    // Puts the order on the windows aside under `name` (checked already).
    void holdAs(const QString &name);
    // Brings back the order put aside as `uid` onto the sheets and this
    // window, which must hold no order. False when it could not be.
    bool bringBack(const QString &uid);
    // 取单 of `entry`: a table the shop has is taken there first (one till
    // at a time), then brought back as the shop has it.
    void bringBackFrom(const till::TableEntry &entry);
    // The owner's 强制取回: a table another till holds (a till that died
    // with it on its windows) is freed for any till, after a confirmation.
    void freeTable();
    // After a crash: the orders that were on the windows come back, the
    // first onto them (if they hold none), any other put aside. Returns what
    // to tell the owner, or empty when nothing came back.
    QString restoreOnWindows(const QList<journal::CurrentOrder> &stored);

    QLabel *label(const QString &name) { return control<QLabel>(name); }
    QPushButton *button(const QString &name) { return control<QPushButton>(name); }

    bool GetSettingEx(const QList<QWidget *> &controls);
    bool SaveSettingEx(const QList<QWidget *> &controls);

protected:
    void Form_Load() override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    QList<QWidget *> categoryButtons() const;
    QLabel *own(const char *name) const;
    void showBill(const QString &text);  // into Label2, scrolled to the total
    void clearWindow();  // every sheet and every total, summary and the bill
    // The table the order on the windows was brought back as (empty: none),
    // in a line of its own under the category totals.
    void showTable(const QString &name);
    QList<till::HeldDish> dishesOnSheets() const;  // the six sheets' rows with something ordered
    bool holdsOrder() const;
    // Puts the order on the windows aside; false when the cashier cancelled.
    bool holdOrder();
    // Prints on the kitchen printer what changed since the last 下单. True
    // when it printed or had nothing to print (`pressed`: say so), or no
    // kitchen printer is set.
    // `table`: the name the order is being put aside under, if it has none yet.
    // `failure`: where to put why it did not print, instead of telling it.
    bool sendToKitchen(bool pressed, const QString &table = {}, QString *failure = nullptr);
    // Before 结账: the kitchen gets what it has not had. A ticket that does not
    // print stops the payment with a choice: 重试, 仍然结账 or 取消. True when
    // the payment may go on.
    bool kitchenHasItAllBeforePaying();
    void showKitchenButton();  // only with a kitchen printer set
    // Keeps the order on the windows, as it now is, in the journal.
    void keepOnWindows();
    // Writes `held`'s quantities into the sheets and shows its bill; returns
    // it as it now counts (its bill dropped when prices changed since) and
    // the changes, one sentence each.
    std::pair<till::HeldOrder, QStringList> putOnSheets(const till::HeldOrder &held);

    till::OrderInProgress *m_order = nullptr;
    till::OpenOrders *m_openOrders = nullptr;
    bool m_recallWhenLoaded = false;  // 取单 pressed before the list was read
};
