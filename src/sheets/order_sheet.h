#pragma once
// One order sheet: the window on which the cashier counts a category's
// dishes. The program has six of them (Form3 to Form8), alike but for the
// window name and the two main window labels their "关闭" fills.

#include "common/form.h"
#include "journal/journal.h"
#include "sheets/sheet_design.h"
#include "till/held_order.h"

#include <QHash>

class QLabel;
class QPushButton;
class SettleList;

class OrderSheet : public ProportionalForm {
    Q_OBJECT

public:
    // `name`: Form3 ... Form8, also the settings section; `summaryLabel` and
    // `totalLabel`: the main window labels its hand-off writes.
    OrderSheet(const QString &name, const QString &summaryLabel, const QString &totalLabel);

    // The handlers, callable as a press would run them.
    void quantityPressed(const sheet::QuantityButton &button);  // Command3 ... Command58
    bool Command1_Click();   // "结算": false when stopped by an overflow
    void Command59_Click();  // "清零"
    void Command2_Click();   // "关闭": hand-off to the main window
    void editCaption(QLabel *label);  // right button on one of the 46 editable labels
    // Sets one of the 46 editable captions from outside (a menu import that
    // the store holds already): shown at once, a price recomputes its row.
    void setCaption(QLabel *label, const QString &text);

    // For the main window and the other sheets.
    QString subtotal();   // the caption of 面钱
    void pressClear();    // presses "清零" from code
    QLabel *label(const QString &name);
    QPushButton *button(const QString &name);
    SettleList *settleList();

    // The rows with something ordered, as an order put aside keeps them.
    QList<till::HeldDish> heldDishes(int category);
    // Brings an order back: clears the sheet, writes the quantities of
    // `dishes` into their rows, recomputes their line totals at today's
    // prices, settles and hands the sheet on under `categoryName`, as "关闭"
    // would, without showing a window. False when a number overflowed (told).
    bool bringBack(const QList<till::HeldDish> &dishes, const QString &categoryName);
    // The grand total on the main window from the six sheets' subtotals.
    // False when it overflowed (told on this sheet).
    bool sumGrandTotal();

    bool GetSettingEx(const QList<QWidget *> &controls);
    bool SaveSettingEx(const QList<QWidget *> &controls);

signals:
    // "关闭" handed the sheet's order on: its category (1 to 6), the name it
    // is shown under, its subtotal and its lines, as data for the order in
    // progress.
    void handedOff(int category, const QString &categoryName, double subtotal,
                   const QList<journal::OrderLine> &lines);

protected:
    void Form_Load() override;
    void closeEvent(QCloseEvent *event) override;  // Form_Unload: refused
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void recomputeLineTotal(const sheet::DishRow &row);  // throws NumberOverflow
    QList<QWidget *> captionControls() const;
    QList<const sheet::DishRow *> handedRows() const;  // the rows "关闭" hands on
    QString orderLines() const;
    QList<journal::OrderLine> orderLineRecords() const;  // the same, as data
    void handOn(const QString &categoryName);  // the settled sheet to the main window

    QString m_summaryLabel;
    QString m_totalLabel;
    QHash<QString, QLabel *> m_labels;
    QHash<QString, QPushButton *> m_buttons;
    SettleList *m_picture = nullptr;
};
