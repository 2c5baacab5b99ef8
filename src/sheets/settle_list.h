#pragma once
// The picture box an order sheet settles into: lines of text printed from its
// top-left corner downward, cut off at its edges, never wrapped or scrolled.

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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList m_lines;
};
