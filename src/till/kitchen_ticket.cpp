#include "till/kitchen_ticket.h"

#include "common/caption_number.h"
#include "journal/journal.h"
#include "journal/report.h"
#include "sheets/sheet_design.h"


#include <algorithm>
#include <map>
#include <tuple>

namespace till {

namespace {

const QString quantityWhat = QStringLiteral("后厨单的数量");

// A portion's place on the sheets, in the order the ticket lists them.
using Place = std::tuple<int, int, bool>;  // category, row, large

struct Tally {
    QString dish;
    QString heading;
    double quantity = 0;
};

// Each place once, its quantities added up, under the first name it came with.
std::map<Place, Tally> tally(const QList<KitchenPortion> &portions)
{
    std::map<Place, Tally> all;
    for (const KitchenPortion &p : portions) {
        const double counted = std::max(0.0, checkedResult(p.quantity, quantityWhat));
        auto [at, added] = all.try_emplace({p.category, p.row, p.large}, Tally{p.dish, p.heading, 0});
        const double both[] = {at->second.quantity, counted};
        at->second.quantity = checkedSum(both, quantityWhat);
    }
    return all;
}

KitchenLine line(const Place &place, const Tally &named, double quantity, bool returned)
{
    const QString dish = named.dish.trimmed();
    const QString heading = named.heading.trimmed();
    return {dish.isEmpty() ? QStringLiteral("（未命名）") : dish,
            heading.isEmpty() ? (std::get<2>(place) ? QStringLiteral("大份") : QStringLiteral("小份")) : heading,
            quantity, returned};
}

}  // namespace

QList<KitchenLine> kitchenChanges(const QList<KitchenPortion> &sent, const QList<KitchenPortion> &now)
{
    const std::map<Place, Tally> before = tally(sent), after = tally(now);
    std::map<Place, KitchenLine> changes;
    for (const auto &[place, was] : before) {
        const auto still = after.find(place);
        const double amounts[] = {still == after.end() ? 0.0 : still->second.quantity, -was.quantity};
        const double more = checkedSum(amounts, quantityWhat);
        if (more < 0)
            changes.emplace(place, line(place, was, -more, true));
    }
    for (const auto &[place, is] : after) {
        const auto was = before.find(place);
        const double amounts[] = {is.quantity, was == before.end() ? 0.0 : -was->second.quantity};
        const double more = checkedSum(amounts, quantityWhat);
        if (more > 0)
            changes.emplace(place, line(place, is, more, false));
    }
    QList<KitchenLine> lines;
    for (const auto &[place, change] : changes)
        lines << change;
    return lines;
}

QStringList kitchenLineTexts(const QList<KitchenLine> &lines)
{
    QStringList texts;
    for (const KitchenLine &l : lines)
        texts << (l.returned ? QStringLiteral("★退×%3 %1 %2") : QStringLiteral("%1 %2 ×%3"))
                     .arg(l.dish, l.heading, captionText(l.quantity));
    return texts;
}

roll::Page kitchenTicketPage(const KitchenTicket &ticket)
{
    roll::Page page;
    page.narrowPoints = 14;
    page.widePoints = 16;
    const QString till = ticket.till > 0 ? QStringLiteral("%1号机 ").arg(ticket.till) : QString();
    page.text(QStringLiteral("后厨单 %1第%2号").arg(till).arg(ticket.number), roll::Align::Left, roll::Size::Body,
              true);
    if (!ticket.table.trimmed().isEmpty())
        page.text(journal::singleLine(ticket.table.trimmed()), roll::Align::Left, roll::Size::Large, true);
    page.text(QStringLiteral("时间 %1").arg(ticket.at.toString(QStringLiteral("HH:mm"))));
    page.rule();
    // The quantity in a column of its own, on the dish's first row however
    // long the name; a 退菜 white on black and marked, bold, its mark joined
    // to the name so that the name starts on its row.
    for (const KitchenLine &l : ticket.lines)
        page.columns({(l.returned ? QStringLiteral("★退：%1 %2") : QStringLiteral("%1 %2")).arg(l.dish, l.heading),
                      QStringLiteral("×%1").arg(captionText(l.quantity))},
                     l.returned, l.returned);
    page.rule();
    return page;
}

QString kitchenTicketText(const KitchenTicket &ticket)
{
    return roll::plainText(kitchenTicketPage(ticket));
}

}  // namespace till
