#pragma once
// The picture box an order sheet settles into: lines of text printed from its
// top-left corner downward. Nothing is cut off: when the lines do not all fit
// below each other they are drawn smaller, and a line too wide for the box is
// drawn smaller on its own, down to a legible size, then cut with "…" and
// shown whole as the tooltip of its place.

#include "common/caption_fit.h"

#include <QFrame>
#include <QStringList>

class SettleList : public QFrame {
    Q_OBJECT

public:
    explicit SettleList(QWidget *parent);

    // Erases the printed text; the next line prints at the top again.
    void clear();
    void printLine(const QString &line);
    const QStringList &lines() const { return m_lines; }

    // Each line as drawn at the box's current size, top to bottom, and the
    // height of one line.
    QList<fit::Fitted> drawnLines() const;
    double lineHeight() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QFont listFont() const;

    QStringList m_lines;
};
