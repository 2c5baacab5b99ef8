#pragma once
// The modal window "结账": the order's 合计, the discount and 抹零 that make
// 应收, the methods that pay it (现金 first, split across several if the
// customer wishes), the cash handed over and the change. 确认收款 accepts
// the window once what was taken settles 应收; 取消 or Escape leaves
// everything as it was.

#include "journal/journal.h"
#include "payment/checkout.h"
#include "payment/shop_settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace payment {

class PaymentWindow : public QDialog {
    Q_OBJECT

public:
    PaymentWindow(Fen total, const ShopSettings &shop, QWidget *parent = nullptr);

    // Once accepted: how the order was paid, and whether to print the receipt.
    const journal::Payment &payment() const { return m_payment; }
    bool printReceipt() const;

    // The state of the window's figures now.
    Due due() const;
    QLineEdit *cashField() const { return m_methods.front().amount; }

    void confirm();  // "确认收款"

    // What a screen reader says as an amount is typed ("找零 11.5 元", "还差
    // 8 元"), and once the payment is taken ("已收款 88.5 元，找零 11.5 元").
    QString changeWords() const;
    static QString takenWords(const journal::Payment &payment);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct MethodRow {
        QString method;
        QPushButton *choice = nullptr;
        QLineEdit *amount = nullptr;
    };

    void buildControls(const ShopSettings &shop);
    void methodToggled(int index, bool on);
    void keypadPressed(const QString &key);
    void quickAmountPressed(int index);
    void refresh();
    Discount discount() const;
    // What each chosen method brings; false (and `why`) for an amount that
    // cannot be read.
    bool tenders(QList<Tender> &out, QString *why) const;
    Fen restForCash() const;

    Fen m_total;
    journal::Payment m_payment;
    QComboBox *m_discountChoice = nullptr;
    QLineEdit *m_discountValue = nullptr;
    QComboBox *m_roundingChoice = nullptr;
    QLineEdit *m_roundingValue = nullptr;
    QLabel *m_discountShown = nullptr;
    QLabel *m_roundingShown = nullptr;
    QLabel *m_dueShown = nullptr;
    QLabel *m_changeShown = nullptr;
    QList<MethodRow> m_methods;
    QList<QPushButton *> m_quick;
    QCheckBox *m_print = nullptr;
    QPushButton *m_confirm = nullptr;
};

}  // namespace payment
