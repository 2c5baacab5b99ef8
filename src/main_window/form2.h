#pragma once
// The main window: six category buttons with their subtotals and the grand
// total on the left; the numbered bill with "清单", "复制" and "打印" on the
// right. Its controls keep their design positions whatever the window's size.

#include "common/form.h"
#include "journal/journal.h"

#include <array>
#include <optional>

class QLabel;
class QPushButton;

class Form2 : public Form {
    Q_OBJECT

public:
    Form2();

    void openCategory(int category);      // C1_Click ... c6_Click
    void renameCategory(QPushButton *button);  // right button on a category button
    void Cm4_Click();       // "关闭"
    void Command1_Click();  // "一键归零"
    void Command2_Click();  // "清单"
    void Command3_Click();  // "打印"
    void Command4_Click();  // "复制"

    // The sales journal's copy of the order on the window: the lines the
    // sheet whose summary label is `summaryLabel` handed on with "关闭".
    void keepHandOff(const QString &summaryLabel, const QList<journal::OrderLine> &lines);
    // The order on the window as the journal records it, ended now.
    journal::Order heldOrder() const;
    // Records the order on the window (and any left from failed writes) and
    // forgets it; false when the journal could not write: the order is kept
    // in memory for the next write and `error` says why.
    bool recordHeldOrder(QString *error = nullptr);

    QLabel *label(const QString &name) { return control<QLabel>(name); }
    QPushButton *button(const QString &name) { return control<QPushButton>(name); }

    bool GetSettingEx(const QList<QWidget *> &controls);
    bool SaveSettingEx(const QList<QWidget *> &controls);

protected:
    void Form_Load() override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    QList<QWidget *> categoryButtons() const;
    QLabel *own(const char *name) const;
    void showBill(const QString &text);  // into Label2, scrolled to the total

    // What the journal records with the order, besides the captions.
    std::array<QList<journal::OrderLine>, 6> m_handedLines;
    std::optional<int> m_billNumber;
    QString m_billText;
    bool m_printed = false;
    bool m_copied = false;
};
