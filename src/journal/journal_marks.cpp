#include "journal/journal_marks.h"

namespace journal {

// Orders of earlier versions read as having no receipt marks.
const char receiptMarksVersion6[] = R"(
ALTER TABLE orders ADD COLUMN receipt INTEGER NOT NULL DEFAULT 0;
)";

bool writeReceiptMarks(sql::Database &db, qint64 orderId, int receipt)
{
    if (receipt == 0)
        return true;
    sql::Statement mark(db, "UPDATE orders SET receipt = ?2 WHERE id = ?1");
    return mark.bind(1, orderId).bind(2, receipt).run();
}

bool applyMark(sql::Database &db, const Change &change)
{
    if (change.order.uid.isEmpty() || change.order.receipt == 0)
        return true;
    sql::Statement mark(db, "UPDATE orders SET receipt = receipt | ?2 WHERE uid = ?1");
    return mark.bind(1, change.order.uid).bind(2, change.order.receipt).run();
}

Change Change::mark(const QString &orderUid, int receiptMarks)
{
    Change c = handed(Kind::Mark);
    c.order.uid = orderUid;
    c.order.receipt = receiptMarks;
    return c;
}

}  // namespace journal
