#pragma once
// The shop's day as its database holds it: every till's orders together and
// till by till, each payment method, the voids and the unpaid orders, and
// for each till how much of its day the shop has not yet received, so that
// nobody takes a partial day for the day. Read on a thread of the caller's,
// never the windows'.

#include "common/roll_page.h"
#include "journal/journal.h"
#include "shop/pg_db.h"

#include <QDate>
#include <QList>
#include <QString>

namespace shop {

struct TillDay {
    int number = 0;  // 0: the shop as a whole
    QString name;
    int paidCount = 0;
    journal::Fen takings = 0;  // the paid orders' 应收
    int unpaidCount = 0;
    journal::Fen unpaidTotal = 0;
    int voidedCount = 0;
    journal::Fen voidedTotal = 0;
    int putAsideCount = 0;  // orders put aside (挂单) in the shop by the till, and not taken since
    journal::Fen putAsideTotal = 0;
    journal::Fen discounts = 0;
    journal::Fen roundings = 0;
    QList<journal::PaymentPart> byMethod;
    // What the till has told it holds and the shop has not stored yet.
    qint64 notYetSent = 0;
    QDateTime lastSeen;  // when the till last reached the shop
};

struct ShopDay {
    QDate day;
    TillDay shop;         // every till together
    QList<TillDay> tills; // by till number, every till that joined
};

// The day's figures; nullopt when they cannot be read (db tells why), or the
// server's answer is not one a shop's database gives.
std::optional<ShopDay> readShopDay(pg::Connection &db, const QDate &day);

// The day as plain text, for the command line.
QString shopDayText(const ShopDay &day);

// "全店日结" on the roll: the shop's `header` (its name first), the whole
// shop's figures, then each till's, each figure in one column, and a warning
// at the top when a till has changes the shop has not received.
roll::Page shopDayPage(const ShopDay &day, const QStringList &header);

// The tills that have changes the shop has not received, in words
// ("2 号收银机“二楼” 3 笔（最后联系 12-08 10:02）"); empty when none.
QStringList unsentTills(const ShopDay &day);

// The days as CSV (UTF-8 with its byte order mark, for spreadsheets): a row
// per day and till, the whole shop's first (收银机 "全店"), with each
// payment method of those days as a column.
QByteArray shopDaysCsv(const QList<ShopDay> &days);

}  // namespace shop
