#pragma once
// The journal's figures and exports as plain data and text, from orders
// already read: the day's summary, the CSV files. No database here.

#include "common/roll_page.h"
#include "journal/journal.h"

class QIODevice;

namespace journal {

// The day's slip (日结) as printed: the shop's header, the day's figures in
// one column, each section under a rule, each 交班 with its difference.
// summaryText is the same page as plain text, rows ended by LF.
roll::Page summaryPage(const DaySummary &summary, const QStringList &header = {});

// An amount of 分 in 元 with two decimals at most: 4050 -> "40.5",
// 99000 -> "990", 5 -> "0.05", -150 -> "-1.5".
QString fenText(Fen fen);

// `text` on one line: each line break (CR, LF or both) becomes a space, so a
// dish name typed over two lines keeps to its line of a list or a slip.
QString singleLine(QString text);

// The orders put aside (挂单), told apart from the figures they are never in:
// "挂单中 2 张，合计 62.5 元（尚未结账，不计入营业额）", or "没有挂单".
QString openOrdersText(const QList<OpenOrder> &open);
// When an order was put aside, as a list shows it: "12:05" today, else
// "11-20 12:05".
QString heldAtText(const QDateTime &heldAt);

// An order's status in words: "已结账", "未结账", "已作废". An order marked
// paid without a payment (none recorded) counts as unpaid.
QString statusText(const Order &order);
bool isPaid(const Order &order);
// Why `order` can no longer be voided, in Chinese; empty when it can: one
// voided already, or one a 交班 has counted (its cash is handed over).
QString whyNotVoidable(const Order &order);

// One row of a CSV file, ended by CR LF: fields quoted where they must be,
// and those of `textColumns` (names someone typed) kept from being taken
// for a spreadsheet's formula.
QString csvLine(const QStringList &fields, const QList<int> &textColumns = {});

// Writes a CSV of `kind` while the orders come one by one (read from the
// journal without holding them all): add() each, then finish(). The lines
// file is written as it goes; the orders file keeps its rows (a few numbers
// each) until finish() knows which payment methods make its columns.
class CsvWriter {
public:
    CsvWriter(QIODevice &device, CsvKind kind);
    ~CsvWriter();
    CsvWriter(const CsvWriter &) = delete;
    CsvWriter &operator=(const CsvWriter &) = delete;

    // `endedAt`: the order's end as stored, "yyyy-MM-dd HH:mm:ss..." (reading
    // it into a local QDateTime costs more than the rest of the row).
    // false: the device refused a write.
    bool add(const Order &order, const QString &endedAt);
    bool finish();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace journal
