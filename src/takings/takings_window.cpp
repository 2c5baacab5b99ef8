#include "takings/takings_window.h"

#include "common/caption_number.h"
#include "common/design.h"
#include "main_window/bill.h"
#include "journal/report.h"
#include "main_window/bill_print.h"

#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

namespace takings {

namespace {

using design::Face;

// An amount as the windows write numbers ("20", "12.5").
QString amount(double value)
{
    return std::isfinite(value) ? captionText(value) : QStringLiteral("数值超出范围");
}

QString amount(journal::Fen fen)
{
    return journal::fenText(fen);
}

// A quantity with the heading it was sold under: "2小份".
QString quantity(double count, const QString &heading)
{
    return amount(count) + heading;
}

QString categoryName(int category, const QString &name)
{
    return name.trimmed().isEmpty() ? QStringLiteral("类别%1").arg(category) : name;
}

QString billNumber(const journal::Order &order)
{
    return order.billNumber ? QStringLiteral("第%1位").arg(*order.billNumber) : QStringLiteral("—");
}

QString billFate(const journal::Order &order)
{
    if (order.printed && order.copied)
        return QStringLiteral("已打印、已复制");
    if (order.printed)
        return QStringLiteral("已打印");
    if (order.copied)
        return QStringLiteral("已复制");
    return order.billText.isEmpty() ? QStringLiteral("无清单") : QStringLiteral("未打印");
}

// A read-only table whose column `stretched` takes the room left over.
QTableWidget *table(QWidget *parent, const QString &name, const QStringList &headings, int stretched)
{
    auto *t = new QTableWidget(0, int(headings.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(headings);
    t->verticalHeader()->hide();
    // Rows of one line each: no row is measured, which keeps a busy day quick.
    t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setWordWrap(false);
    t->setTabKeyNavigation(false);  // Tab moves on to the next control, not the next cell
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setSectionResizeMode(stretched, QHeaderView::Stretch);
    return t;
}

// Fills one row of `t`; the numbers (the columns in `numbers`) are
// right-aligned so that they line up.
void setRow(QTableWidget *t, int row, const QStringList &cells, std::initializer_list<int> numbers)
{
    for (int column = 0; column < cells.size(); ++column) {
        auto *item = new QTableWidgetItem(cells[column]);
        if (std::find(numbers.begin(), numbers.end(), column) != numbers.end())
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(row, column, item);
    }
}

// A number the owner may select and copy.
QLabel *figure(QWidget *parent, const QString &name)
{
    auto *value = new QLabel(QStringLiteral("0"), parent);
    value->setObjectName(name);
    value->setTextFormat(Qt::PlainText);
    value->setFont(design::font(Face::SongTi, 18, true));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    value->setFocusPolicy(Qt::StrongFocus);  // reached with Tab, copied with Ctrl+C
    return value;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// The days to export, asked in a small box: from the first of `day`'s month
// to `day`. nullopt when the owner cancels.
std::optional<std::pair<QDate, QDate>> askDays(QWidget *parent, const QDate &day)
{
    QDialog box(parent);
    box.setObjectName(QStringLiteral("exportDays"));
    box.setWindowTitle(QStringLiteral("导出营业记录"));
    auto *from = new QDateEdit(QDate(day.year(), day.month(), 1), &box);
    auto *to = new QDateEdit(day, &box);
    from->setObjectName(QStringLiteral("exportFrom"));
    to->setObjectName(QStringLiteral("exportTo"));
    for (QDateEdit *edit : {from, to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    auto *form = new QFormLayout(&box);
    form->addRow(QStringLiteral("从"), from);
    form->addRow(QStringLiteral("到"), to);
    form->addRow(buttons);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return std::pair{from->date(), to->date()};
}

// Prints on the default printer; a job the spooler took may still fail at
// the printer, and the owner hears of that a few seconds later too.
void printTelling(QWidget *window, const QString &text)
{
    auto tell = [window](const QString &why) {
        design::reportError(window, QStringLiteral("打印失败：%1").arg(why));
    };
    const QString failure = bill::printOnDefaultPrinter(text, window, tell);
    if (!failure.isEmpty())
        tell(failure);
}

}  // namespace

TakingsWindow::TakingsWindow(journal::Journal &journal, QWidget *parent)
    : QWidget(parent, Qt::Window), m_journal(journal)
{
    setObjectName(QStringLiteral("TakingsWindow"));
    setWindowTitle(QStringLiteral("营业记录"));
    setFont(design::font(Face::SongTi, 10.5));
    buildControls();
    resize(960, 600);
}

void TakingsWindow::buildControls()
{
    m_dayPicker = new QDateEdit(QDate::currentDate(), this);
    m_dayPicker->setObjectName(QStringLiteral("dayPicker"));
    m_dayPicker->setCalendarPopup(true);
    m_dayPicker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    connect(m_dayPicker, &QDateEdit::dateChanged, this, &TakingsWindow::showDay);
    m_pendingNotice = new QLabel(this);
    m_pendingNotice->setObjectName(QStringLiteral("pendingNotice"));
    m_pendingNotice->setTextFormat(Qt::PlainText);
    m_pendingNotice->setWordWrap(true);
    m_pendingNotice->setStyleSheet(QStringLiteral("color: #b00000"));
    m_pendingNotice->hide();
    m_orderCount = figure(this, QStringLiteral("orderCount"));
    m_takings = figure(this, QStringLiteral("takings"));

    m_categoryTotals = table(this, QStringLiteral("categoryTotals"),
                             {QStringLiteral("类别"), QStringLiteral("金额")}, 0);
    m_dishTotals = table(this, QStringLiteral("dishTotals"),
                         {QStringLiteral("菜名"), QStringLiteral("类别"), QStringLiteral("小份"),
                          QStringLiteral("大份"), QStringLiteral("金额")},
                         0);
    m_orderList = table(this, QStringLiteral("orderList"),
                        {QStringLiteral("时间"), QStringLiteral("清单"), QStringLiteral("金额"),
                         QStringLiteral("打印/复制")},
                        3);
    connect(m_orderList, &QTableWidget::itemSelectionChanged, this, &TakingsWindow::showSelectedBill);
    m_billText = new QPlainTextEdit(this);
    m_billText->setObjectName(QStringLiteral("billText"));
    m_billText->setReadOnly(true);
    m_billText->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_billText->setTabChangesFocus(true);

    m_reprint = button(this, QStringLiteral("reprintButton"), QStringLiteral("重新打印"));
    connect(m_reprint, &QPushButton::clicked, this, &TakingsWindow::reprintSelected);
    QPushButton *printSummary = button(this, QStringLiteral("printSummaryButton"), QStringLiteral("打印日结"));
    connect(printSummary, &QPushButton::clicked, this, &TakingsWindow::printDaySummary);
    QPushButton *exportButton = button(this, QStringLiteral("exportButton"), QStringLiteral("导出…"));
    connect(exportButton, &QPushButton::clicked, this, &TakingsWindow::exportOrders);
    QPushButton *closeButton = button(this, QStringLiteral("closeButton"), QStringLiteral("关闭"));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    // The day and its two headline figures across the top.
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("日期"), this));
    top->addWidget(m_dayPicker);
    top->addSpacing(24);
    top->addWidget(new QLabel(QStringLiteral("订单数"), this));
    top->addWidget(m_orderCount);
    top->addSpacing(24);
    top->addWidget(new QLabel(QStringLiteral("营业额（元）"), this));
    top->addWidget(m_takings);
    top->addStretch();

    // Left what was sold, right the orders and the selected one's bill.
    auto *sold = new QVBoxLayout;
    sold->addWidget(new QLabel(QStringLiteral("各类别合计"), this));
    sold->addWidget(m_categoryTotals, 2);
    sold->addWidget(new QLabel(QStringLiteral("各菜品（金额从高到低）"), this));
    sold->addWidget(m_dishTotals, 5);
    sold->addWidget(printSummary, 0, Qt::AlignLeft);

    auto *bills = new QVBoxLayout;
    bills->addWidget(new QLabel(QStringLiteral("当日订单"), this));
    bills->addWidget(m_orderList, 3);
    bills->addWidget(new QLabel(QStringLiteral("所选订单的清单"), this));
    bills->addWidget(m_billText, 4);
    bills->addWidget(m_reprint, 0, Qt::AlignLeft);

    auto *middle = new QHBoxLayout;
    middle->addLayout(sold, 1);
    middle->addLayout(bills, 1);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(exportButton);
    bottom->addStretch();
    bottom->addWidget(closeButton);

    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(m_pendingNotice);
    all->addLayout(middle, 1);
    all->addLayout(bottom);

    // The keyboard starts on the day's headline figures, then goes through
    // what was sold, the orders and the buttons to the day picker.
    const QList<QWidget *> order = {m_orderCount, m_takings, m_categoryTotals, m_dishTotals,
                                    printSummary, m_orderList, m_billText, m_reprint,
                                    exportButton, closeButton, m_dayPicker};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    m_orderCount->setFocus();
}

QDate TakingsWindow::day() const
{
    return m_dayPicker->date();
}

bool TakingsWindow::showDay(const QDate &day)
{
    {
        const QSignalBlocker quiet(m_dayPicker);
        m_dayPicker->setDate(day);
    }
    const std::optional<QList<journal::Order>> orders = m_journal.ordersOf(day);
    m_orders = orders.value_or(QList<journal::Order>());
    m_summary = journal::summarize(day, m_orders);
    showFigures();
    showOrders();
    // Orders the journal could not write yet are not in the figures.
    const int pending = m_journal.pendingCount();
    QString notice = QStringLiteral("另有 %1 笔订单尚未写入营业记录，未计入以下数字。").arg(pending);
    if (!m_journal.error().isEmpty())
        notice += QStringLiteral("原因：") + m_journal.error();
    m_pendingNotice->setText(notice);
    m_pendingNotice->setVisible(pending > 0);
    // A damaged journal that this reading found and set aside.
    const QString setAside = m_journal.takeNotice();
    if (!setAside.isEmpty())
        design::reportError(this, setAside);
    if (!orders) {
        design::reportError(this, QStringLiteral("无法读取营业记录：%1").arg(m_journal.error()));
        return false;
    }
    return true;
}

void TakingsWindow::showFigures()
{
    m_orderCount->setText(QString::number(m_summary.orderCount));
    m_takings->setText(amount(m_summary.takings));
    // A screen reader says what the bare number is.
    m_orderCount->setAccessibleName(QStringLiteral("订单数 ") + m_orderCount->text());
    m_takings->setAccessibleName(QStringLiteral("营业额 %1元").arg(m_takings->text()));

    // The categories in use: named, or with something sold.
    m_categoryTotals->setRowCount(0);
    int row = 0;
    for (const journal::CategorySummary &c : m_summary.categories) {
        if (c.name.trimmed().isEmpty() && c.total == 0)
            continue;
        m_categoryTotals->setRowCount(row + 1);
        setRow(m_categoryTotals, row++, {categoryName(c.category, c.name), amount(c.total)}, {1});
    }

    m_dishTotals->setRowCount(int(m_summary.dishes.size()));
    row = 0;
    for (const journal::DishSummary &d : m_summary.dishes)
        setRow(m_dishTotals, row++,
               {d.dish, categoryName(d.category, d.categoryName),
                quantity(d.smallQuantity, d.smallHeading), quantity(d.largeQuantity, d.largeHeading),
                amount(d.amount)},
               {2, 3, 4});
}

void TakingsWindow::showOrders()
{
    const QSignalBlocker quiet(m_orderList);
    m_orderList->clearContents();
    m_orderList->setRowCount(int(m_orders.size()));
    int row = 0;
    for (const journal::Order &o : m_orders)
        setRow(m_orderList, row++,
               {o.endedAt.time().toString(QStringLiteral("HH:mm:ss")), billNumber(o),
                amount(o.grandTotal), billFate(o)},
               {2});
    // The latest order first in view: the one a customer most likely asks for.
    selectOrder(int(m_orders.size()) - 1);
    showSelectedBill();
}

int TakingsWindow::selectedOrder() const
{
    const QList<QTableWidgetSelectionRange> ranges = m_orderList->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

void TakingsWindow::selectOrder(int index)
{
    if (index < 0 || index >= m_orders.size()) {
        m_orderList->clearSelection();
        return;
    }
    m_orderList->selectRow(index);
    m_orderList->scrollToItem(m_orderList->item(index, 0));
}

void TakingsWindow::showSelectedBill()
{
    const int index = selectedOrder();
    const QString bill = index < 0 ? QString() : m_orders[index].billText;
    QString shown = bill;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar(u'\r'), QChar(u'\n'));
    m_billText->setPlainText(shown);
    m_reprint->setEnabled(!bill.isEmpty());
    m_reprint->setToolTip(index >= 0 && bill.isEmpty() ? QStringLiteral("该订单没有清单") : QString());
}

void TakingsWindow::reprintSelected()
{
    const int index = selectedOrder();
    if (index < 0 || m_orders[index].billText.isEmpty()) {
        design::reportError(this, QStringLiteral("请先在订单列表中选择一张有清单的订单。"));
        return;
    }
    printTelling(this, bill::printable(m_orders[index].billText));
}

void TakingsWindow::printDaySummary()
{
    printTelling(this, journal::summaryText(m_summary));
}

void TakingsWindow::exportOrders()
{
    const std::optional<std::pair<QDate, QDate>> days = askDays(this, day());
    if (!days)
        return;
    const auto [from, to] = *days;
    if (from > to) {
        design::reportError(this, QStringLiteral("起始日期晚于结束日期，没有导出任何内容。"));
        return;
    }
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出营业记录"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("营业记录_%1_%2.csv")
                          .arg(from.toString(Qt::ISODate), to.toString(Qt::ISODate))),
        QStringLiteral("CSV 文件 (*.csv)"));
    if (file.isEmpty())
        return;
    if (!m_journal.exportCsv(from, to, file))
        design::reportError(this, QStringLiteral("导出失败：%1").arg(m_journal.error()));
}

TakingsWindow &openTakingsWindow(QWidget *parent)
{
    static QPointer<TakingsWindow> window;
    if (!window || window->parentWidget() != parent) {
        delete window;
        window = new TakingsWindow(journal::programJournal(), parent);
        // The owner works here; the cashier's window waits until it closes.
        window->setWindowModality(Qt::WindowModal);
    }
    window->showDay(QDate::currentDate());
    window->findChild<QLabel *>(QStringLiteral("orderCount"))->setFocus();
    window->show();
    window->raise();
    window->activateWindow();
    return *window;
}

}  // namespace takings
