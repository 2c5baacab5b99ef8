#pragma once
// The owner's settings for taking money: the shop's name, address and phone
// (the receipt's header), its footer, up to two payment methods of the
// owner's own, whether 结账 prints the receipt, the kitchen's printer, and the
// counters of the day's 单号 and kitchen tickets. They live beside the
// journal, in shop.ini of its folder, not among the captions. No widgets
// here: failures come back as Chinese sentences.

#include <QDate>
#include <QString>
#include <QStringList>

namespace payment {

// The methods every till offers, in the order they are shown; 现金 first.
inline const QString cashMethod = QStringLiteral("现金");
QStringList standardMethods();  // 现金, 微信, 支付宝, 银行卡
inline constexpr int extraMethodCount = 2;

struct ShopSettings {
    QString name;
    QString address;
    QString phone;
    QString footer;
    QStringList extraMethods;   // the owner's own, at most two, none blank
    bool printReceipt = true;   // "打印结账单" ticked in 结账
    QString kitchenPrinter;     // where 下单 prints the kitchen's tickets; empty: none

    // The receipt's header: name, address and phone, the blank ones left out.
    QStringList headerLines() const;
    // Every method offered in 结账: the standard ones, then the owner's.
    QStringList methods() const;
};

// shop.ini in `folder` (the journal's folder unless told).
QString shopFile(const QString &folder = {});

ShopSettings loadShop(const QString &folder = {});
// Writes every setting; returns an empty text, or why they were not saved.
QString saveShop(const ShopSettings &shop, const QString &folder = {});
// Writes only the "打印结账单" choice.
QString savePrintChoice(bool printReceipt, const QString &folder = {});

// The 单号 "yyyyMMdd-NNNN" for an order ending on `day`: the day's running
// number, one more than any given before on that day (by this counter, or
// recorded in the journal). The counter is kept in shop.ini, and in memory
// when the file cannot be written, so numbering never repeats.
// A till of a shop puts its number in the middle ("yyyyMMdd-T-NNNN"), so
// that no two tills hand out the same 单号 and none asks another.
QString nextReceiptNumber(const QDate &day, const QString &folder = {});
// The till's number in the shop for the 单号 from now on; 0: no shop.
void setReceiptTill(int number);
int receiptTillNumber();
// The highest 单号 the journal holds for its day: the counter goes on from it.
void continueReceiptNumbersAfter(const QString &lastRecorded);

// The number the next kitchen ticket printed on `day` takes: 1 for the
// day's first, then one more than the last used. A number is used only once
// its ticket is handed to the spooler (kitchenTicketUsed), so a ticket that
// did not print leaves no gap. A day earlier than the last one counted (the
// clock put back) goes on counting.
int upcomingKitchenTicketNumber(const QDate &day, const QString &folder = {});
// Counts the ticket numbered `number` on `day` as used. Kept in shop.ini like
// the 单号 counter, in memory when the file cannot be written, so no number
// comes twice in a day.
void kitchenTicketUsed(const QDate &day, int number, const QString &folder = {});

}  // namespace payment
