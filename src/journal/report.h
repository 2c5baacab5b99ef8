#pragma once
// The journal's figures and exports as plain data and text, from orders
// already read: the day's summary, the CSV files. No database here.

#include "journal/journal.h"

class QIODevice;

namespace journal {

// An amount of 分 in 元 with two decimals at most: 4050 -> "40.5",
// 99000 -> "990", 5 -> "0.05", -150 -> "-1.5".
QString fenText(Fen fen);

// `text` on one line: each line break (CR, LF or both) becomes a space, so a
// dish name typed over two lines keeps to its line of a list or a slip.
QString singleLine(QString text);

// An order's status in words: "已结账", "未结账", "已作废". An order marked
// paid without a payment (none recorded) counts as unpaid.
QString statusText(const Order &order);
bool isPaid(const Order &order);

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
