#pragma once
// The journal's figures and exports as plain data and text, from orders
// already read: the day's summary, the CSV. No database here.

#include "journal/journal.h"

class QIODevice;

namespace journal {

// The CSV's byte order mark and heading row; one order's rows. `endedAt` is
// the order's end as stored ("yyyy-MM-dd HH:mm:ss..."). false: the device
// refused a write.
bool writeCsvHeading(QIODevice &device);
bool writeCsvOrder(QIODevice &device, const Order &order, const QString &endedAt);

}  // namespace journal
