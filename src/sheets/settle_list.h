#pragma once
// The picture box an order sheet settles into: one line per row to pay,
// printed from its top-left corner downward. It reads as a table: every line
// in one size (smaller when the lines do not all fit below each other, down
// to a legible size), the dish names on the left, shortened with "…" at their
// end where they must be (the whole line is the tooltip of its place), and
// the amounts whole, lined up on the right.

#include <QFrame>
#include <QStringList>

class SettleList : public QFrame {
    Q_OBJECT

public:
    explicit SettleList(QWidget *parent);

    // Erases the printed text; the next line prints at the top again.
    void clear();
    // Prints the line `name`, three spaces, `amount`.
    void printRow(const QString &name, const QString &amount);
    const QStringList &lines() const { return m_lines; }

    // The lines as drawn at the box's current size, top to bottom.
    struct DrawnRow {
        QString name;    // as drawn, perhaps ending in "…"
        QString amount;  // always whole
        bool elided;
    };
    QList<DrawnRow> drawnRows() const;
    QFont listFont() const;
    double lineHeight() const;
    double nameWidth() const;  // the names' column; the amounts take the rest

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QStringList m_lines;
    QList<std::pair<QString, QString>> m_rows;  // name, amount of each line
};
