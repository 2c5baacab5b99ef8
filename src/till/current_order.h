#pragma once
// The order on the windows as the journal keeps it while it is open, so that
// a crash or a power cut brings it back: the same description as an order
// put aside (its dishes, bill and what the kitchen has), with the open order
// it was brought back from, if any. No widgets here.

#include "till/held_order.h"

namespace till {

// `held` (an OrderInProgress::snapshot) as the journal keeps the order on the
// windows under `uid`.
journal::CurrentOrder toCurrent(const QString &uid, const HeldOrder &held);

// The order kept on the windows, as a held order whose uid and name are
// those of the open order it was brought back from (empty when none).
// nullopt when the journal's state is not one this program wrote.
std::optional<HeldOrder> fromCurrent(const journal::CurrentOrder &current);

}  // namespace till
