#include "payment/cash_up_window.h"

#include "common/accessible_names.h"
#include "common/design.h"
#include "journal/report.h"
#include "main_window/bill_print.h"
#include "payment/cash_up.h"
#include "payment/checkout.h"
#include "till/journal_link.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace payment {

namespace {

// `text` kept whole on its line: the note's lines break around a name, a
// time or an amount, never inside one ("3号桌", not "3号" then "桌"; "外卖 王"
// on one line). Word joiners are drawn as nothing; a line breaks after any
// plain space, so the spaces within are ones that do not break.
QString unbroken(const QString &text)
{
    QString whole;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i > 0 && !text[i].isLowSurrogate())
            whole += QChar(0x2060);  // WORD JOINER
        whole += text[i] == u' ' ? QChar(QChar::Nbsp) : text[i];
    }
    return whole;
}

const QString notCounted = QStringLiteral("请先点清抽屉里的现金：输入实点现金，或按面额点数。");

QLineEdit *amountField(QWidget *parent, const QString &name, const QString &spokenAs, Fen value)
{
    auto *e = new QLineEdit(yuanText(value), parent);
    e->setObjectName(name);
    e->setAccessibleName(spokenAs);
    e->setMinimumHeight(36);
    return e;
}

// What opening the window needs from the journal.
struct Since {
    bool read = false;
    QString error;
    QDateTime at;  // when the orders were read: the 交班 counts those ended before
    QList<journal::Order> orders;
    std::optional<journal::CashUp> last;
    QList<journal::OpenOrder> open;
};

}  // namespace

CashUpWindow::CashUpWindow(const journal::CashUp &figures, bool firstCashUp, const ShopSettings &shop,
                           QWidget *parent)
    : QDialog(parent), m_figures(figures), m_shop(shop)
{
    setObjectName(QStringLiteral("CashUpWindow"));
    setWindowTitle(QStringLiteral("交班"));
    setAccessibleName(QStringLiteral("交班"));
    setFont(design::font(design::Face::SongTi, 12));

    m_shown = new QPlainTextEdit(this);
    m_shown->setObjectName(QStringLiteral("CashUpFigures"));
    m_shown->setAccessibleName(QStringLiteral("交班数字"));
    m_shown->setReadOnly(true);
    m_shown->setMinimumSize(320, 360);

    m_float = amountField(this, QStringLiteral("OpeningFloat"), QStringLiteral("备用金"), figures.openingFloat);
    m_float->setReadOnly(!firstCashUp);
    m_float->setToolTip(firstCashUp ? QStringLiteral("第一次交班：请输入开始营业时抽屉里的备用金。")
                                    : QStringLiteral("上次交班留下的备用金。"));
    // The drawer is counted, never taken as it should be: the field starts
    // empty, and "交班并打印" waits for it.
    m_counted = amountField(this, QStringLiteral("CountedTotal"), QStringLiteral("实点现金合计"), 0);
    m_counted->clear();
    m_counted->setPlaceholderText(QStringLiteral("请点数后输入"));
    m_floatLeft = amountField(this, QStringLiteral("FloatLeft"), QStringLiteral("留作备用金"), figures.openingFloat);

    auto *notes = new QGridLayout;
    const QList<Fen> values = drawerDenominations();
    for (int i = 0; i < values.size(); ++i) {
        auto *count = new QSpinBox(this);
        count->setObjectName(QStringLiteral("Count%1").arg(i + 1));
        count->setRange(0, 99999);
        count->setMinimumHeight(32);
        count->setAccessibleName(QStringLiteral("%1元 张数").arg(yuanText(values[i])));
        connect(count, &QSpinBox::valueChanged, this, &CashUpWindow::countsChanged);
        notes->addWidget(new QLabel(QStringLiteral("%1元").arg(yuanText(values[i])), this), i / 2, (i % 2) * 2);
        notes->addWidget(count, i / 2, (i % 2) * 2 + 1);
        m_counts << count;
    }

    m_difference = new QLabel(this);
    m_difference->setObjectName(QStringLiteral("DifferenceValue"));
    m_difference->setTextFormat(Qt::PlainText);
    m_difference->setFont(design::font(design::Face::SongTi, 22, true));

    m_open = new QLabel(this);
    m_open->setObjectName(QStringLiteral("OpenOrders"));
    m_open->setTextFormat(Qt::PlainText);
    m_open->setWordWrap(true);
    showOpenOrders({});

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("备用金"), m_float);
    form->addRow(QStringLiteral("实点现金"), m_counted);
    form->addRow(QStringLiteral("或按面额点数"), notes);
    form->addRow(QStringLiteral("留作备用金"), m_floatLeft);
    form->addRow(QStringLiteral("差额"), m_difference);

    m_confirm = new QPushButton(QStringLiteral("交班并打印"), this);
    m_confirm->setObjectName(QStringLiteral("CashUpButton"));
    m_confirm->setMinimumHeight(40);
    m_confirm->setDefault(true);
    m_confirm->setAccessibleName(QStringLiteral("交班并打印"));
    auto *cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setMinimumHeight(40);
    connect(m_confirm, &QPushButton::clicked, this, &CashUpWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_counted, &QLineEdit::textEdited, this, [this] { m_countedByNotes = false; });
    connect(m_floatLeft, &QLineEdit::textEdited, this, [this] { m_floatLeftTyped = true; });
    for (QLineEdit *e : {m_float, m_counted, m_floatLeft})
        connect(e, &QLineEdit::textEdited, this, &CashUpWindow::refresh);
    // The difference is the figure the cashier most needs to hear: told once
    // the typing or counting pauses.
    const auto differenceWords = [this] {
        const QString shown = m_difference->text();
        return shown.startsWith(QStringLiteral("长款")) || shown.startsWith(QStringLiteral("短款"))
                   ? shown + QStringLiteral(" 元")
                   : shown;
    };
    for (QLineEdit *e : {m_float, m_counted, m_floatLeft})
        connect(e, &QLineEdit::textEdited, this, a11y::sayAfterPause(e, differenceWords));
    for (QSpinBox *count : std::as_const(m_counts))
        connect(count, &QSpinBox::valueChanged, this, a11y::sayAfterPause(count, differenceWords));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_confirm);
    auto *figuresColumn = new QVBoxLayout;
    figuresColumn->addWidget(m_shown, 1);
    figuresColumn->addWidget(m_open);
    auto *columns = new QHBoxLayout;
    columns->addLayout(figuresColumn);
    columns->addLayout(form);
    auto *all = new QVBoxLayout(this);
    all->addLayout(columns);
    all->addLayout(buttons);
    refresh();
    (firstCashUp ? m_float : m_counted)->setFocus();
    (firstCashUp ? m_float : m_counted)->selectAll();
}

bool CashUpWindow::counted() const
{
    return !m_counted->text().trimmed().isEmpty();
}

bool CashUpWindow::cashUp(journal::CashUp &out, QString *why) const
{
    if (!figuresNow(out, why))
        return false;
    if (!counted()) {
        if (why)
            *why = notCounted;
        return false;
    }
    Fen counted = 0;
    if (!readAmount(m_counted, QStringLiteral("实点现金"), counted, why))
        return false;
    if (m_countedByNotes) {
        QList<QPair<Fen, int>> counts;
        const QList<Fen> values = drawerDenominations();
        for (int i = 0; i < values.size(); ++i)
            counts.append({values[i], m_counts[i]->value()});
        countCash(out, counts);
    } else {
        countCash(out, counted);
    }
    if (out.floatLeft > out.countedCash) {
        if (why)
            *why = QStringLiteral("留作备用金（%1 元）不能多于实点现金（%2 元）。")
                       .arg(yuanText(out.floatLeft), yuanText(out.countedCash));
        return false;
    }
    return true;
}

bool CashUpWindow::readAmount(QLineEdit *field, const QString &what, Fen &into, QString *why)
{
    const std::optional<Fen> value = parseYuan(field->text());
    if (!value && why)
        *why = QStringLiteral("%1“%2”无效：请输入金额，最多两位小数。").arg(what, field->text());
    if (value)
        into = *value;
    return value.has_value();
}

bool CashUpWindow::figuresNow(journal::CashUp &out, QString *why) const
{
    out = m_figures;
    Fen openingFloat = 0, left = 0;
    if (!readAmount(m_float, QStringLiteral("备用金"), openingFloat, why) ||
        !readAmount(m_floatLeft, QStringLiteral("留作备用金"), left, why))
        return false;
    out.openingFloat = openingFloat;
    out.expectedCash = out.openingFloat + out.cashTaken - out.changeGiven;
    out.floatLeft = left;
    return true;
}

void CashUpWindow::countsChanged()
{
    Fen sum = 0;
    const QList<Fen> values = drawerDenominations();
    for (int i = 0; i < values.size(); ++i)
        sum += values[i] * m_counts[i]->value();
    m_countedByNotes = true;
    m_counted->setText(yuanText(sum));
    refresh();
}

void CashUpWindow::refresh()
{
    // The float left follows the 备用金 until the owner types another.
    if (!m_floatLeftTyped && m_floatLeft->text() != m_float->text())
        m_floatLeft->setText(m_float->text());
    journal::CashUp now;
    QString why;
    const bool readable = figuresNow(now, &why);
    const bool complete = readable && counted() && cashUp(now, &why);
    CashUpSlip slip;
    slip.counted = complete;
    m_shown->setPlainText(cashUpText(readable ? now : m_figures, slip));
    const QString difference = complete ? differenceText(now.difference)
                               : !readable || counted() ? QStringLiteral("金额有误")
                                                        : QStringLiteral("未点数");
    if (m_difference->text() != difference) {
        m_difference->setText(difference);
        m_difference->setAccessibleName(QStringLiteral("差额 ") + difference);
    }
    // Until the drawer is counted there is nothing to hand over.
    m_confirm->setEnabled(counted() && !m_recording);
    const QString waiting = counted() ? QString() : notCounted;
    m_confirm->setToolTip(waiting);
    m_confirm->setAccessibleDescription(waiting);
}

void CashUpWindow::showOpenOrders(const QList<journal::OpenOrder> &open)
{
    m_openOrders = open;
    QStringList lines{journal::openOrdersText(open)};
    constexpr int shown = 6;  // the rest in a count
    for (qsizetype i = 0; i < open.size() && i < shown; ++i)
        lines << QStringLiteral("  %1  %2  %3")
                     .arg(unbroken(journal::singleLine(open[i].name)), unbroken(journal::heldAtText(open[i].heldAt)),
                          unbroken(yuanText(open[i].total) + QStringLiteral("元")));
    if (open.size() > shown)
        lines << QStringLiteral("  …另有 %1 张").arg(open.size() - shown);
    m_open->setText(lines.join(u'\n'));
    m_open->setAccessibleName(lines.first());
}

void CashUpWindow::confirm()
{
    journal::CashUp up;
    QString why;
    if (!cashUp(up, &why)) {
        design::reportError(this, why);
        return;
    }
    if (!m_openOrders.isEmpty()) {
        Fen sum = 0;
        for (const journal::OpenOrder &o : std::as_const(m_openOrders))
            sum += o.total;
        QMessageBox ask(QMessageBox::Question, QStringLiteral("交班"),
                        QStringLiteral("还有 %1 张挂单未结账（合计 %2 元），仍要交班吗？\n"
                                       "挂单不计入这次交班，取单结账后计入下一次。")
                            .arg(m_openOrders.size())
                            .arg(yuanText(sum)),
                        QMessageBox::NoButton, this);
        ask.setObjectName(QStringLiteral("OpenOrdersQuestion"));
        ask.setFont(design::readingFont());
        QPushButton *go = ask.addButton(QStringLiteral("仍要交班"), QMessageBox::AcceptRole);
        QPushButton *back = ask.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        ask.setDefaultButton(back);
        ask.setEscapeButton(back);
        ask.exec();
        if (ask.clickedButton() != go)
            return;
    }
    m_recording = true;  // one 交班 per press, while the journal writes it
    m_confirm->setEnabled(false);
    QPointer<CashUpWindow> self(this);
    till::askJournal<std::optional<journal::CashUp>>(
        this,
        [up](journal::Journal &journal) mutable -> std::optional<journal::CashUp> {
            if (!journal.recordCashUp(up))
                return std::nullopt;
            return up;
        },
        [self, why = QString()](std::optional<journal::CashUp> recorded) {
            if (!self)
                return;
            self->m_recording = false;
            self->refresh();
            if (!recorded) {
                design::reportError(self, QStringLiteral("交班未能记入营业记录，请稍后再试。"));
                return;
            }
            QWidget *owner = self->parentWidget();
            const roll::Page slip = cashUpPage(*recorded, {self->m_shop.headerLines(), true, self->m_openOrders});
            auto tell = [owner](const QString &failure) {
                design::reportError(owner, QStringLiteral("交班单打印失败：%1\n交班已经记下。").arg(failure));
            };
            self->accept();
            const QString failure = bill::printOnDefaultPrinter(slip, owner, tell);
            if (!failure.isEmpty())
                tell(failure);
        });
}

void openCashUp(QWidget *parent)
{
    till::askJournal<Since>(
        parent,
        [](journal::Journal &journal) {
            Since since;
            since.at = QDateTime::currentDateTime();
            const auto orders = journal.ordersSinceLastCashUp();
            const auto last = journal.lastCashUp();
            since.read = orders && last;
            if (!since.read) {
                since.error = journal.error();
                return since;
            }
            // The orders put aside too: the 交班 must not pass them unasked.
            const auto open = journal.openOrders();
            if (!open) {
                since.read = false;
                since.error = journal.error();
                return since;
            }
            since.orders = *orders;
            since.last = *last;
            since.open = *open;
            return since;
        },
        [parent](Since since) {
            if (!since.read) {
                design::reportError(parent, QStringLiteral("无法读取营业记录，不能交班：%1").arg(since.error));
                return;
            }
            if (since.orders.isEmpty()) {
                design::reportError(parent, QStringLiteral("上次交班以来没有新的订单，不用交班。"));
                return;
            }
            const ShopSettings shop = loadShop();
            journal::CashUp figures = cashUpFigures(since.orders, since.last ? since.last->floatLeft : 0,
                                                   shop.methods());
            figures.at = since.at;
            if (since.last)
                figures.since = since.last->at;
            CashUpWindow window(figures, !since.last, shop, parent);
            window.showOpenOrders(since.open);
            window.exec();
        });
}

}  // namespace payment
