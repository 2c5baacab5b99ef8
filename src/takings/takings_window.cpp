#include "takings/takings_window.h"

#include "common/accessible_names.h"
#include "common/caption_number.h"
#include "takings/day_rows.h"
#include "takings/shop_day_view.h"
#include "takings/text_rows_model.h"
#include "common/design.h"
#include "common/touch_keys.h"
#include "journal/journal_service.h"
#include "journal/report.h"
#include "main_window/bill.h"
#include "main_window/bill_print.h"
#include "payment/receipt.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTableView>
#include <QThreadPool>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

namespace takings {

namespace {

using design::Face;
using journal::Fen;
using journal::Order;

QString money(Fen fen)
{
    return journal::fenText(fen);
}

// A read-only table whose column `stretched` takes the room left over.
void setUpTable(QTableView *t, const QString &name, int stretched)
{
    t->setObjectName(name);
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
    // Columns fit what a screenful of rows holds, never every row of a long
    // day: the rows in view and the next ones, at most this many.
    t->horizontalHeader()->setResizeContentsPrecision(60);
}

QTableWidget *table(QWidget *parent, const QString &name, const QStringList &headings, int stretched)
{
    auto *t = new QTableWidget(0, int(headings.size()), parent);
    t->setHorizontalHeaderLabels(headings);
    setUpTable(t, name, stretched);
    return t;
}

// A list as long as the day, over rows made on the journal's thread.
QTableView *list(QWidget *parent, const QString &name, TextRowsModel *rows, int stretched)
{
    auto *t = new QTableView(parent);
    t->setModel(rows);
    setUpTable(t, name, stretched);
    return t;
}

// A table just tall enough for `rows` rows: all of them in view, no scrolling.
void fitRows(QTableWidget *t, int rows)
{
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setFixedHeight(t->horizontalHeader()->sizeHint().height() +
                      rows * t->verticalHeader()->defaultSectionSize() + 2 * t->frameWidth());
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

void inform(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Tavelko"), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("完成"));
    box.setFont(design::readingFont());
    box.exec();
}

struct ExportChoice {
    QDate from;
    QDate to;
    journal::CsvKind kind = journal::CsvKind::Orders;
};

// The days to export and what of them, asked in a small box: from the first
// of `day`'s month to `day`, the orders. nullopt when the owner cancels.
std::optional<ExportChoice> askExport(QWidget *parent, const QDate &day)
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
    auto *kind = new QComboBox(&box);
    kind->setObjectName(QStringLiteral("exportKind"));
    kind->addItem(QStringLiteral("订单（每单一行）"), int(journal::CsvKind::Orders));
    kind->addItem(QStringLiteral("菜品明细（每道菜一行，带单号）"), int(journal::CsvKind::Lines));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    auto *form = new QFormLayout(&box);
    form->addRow(QStringLiteral("从"), from);
    form->addRow(QStringLiteral("到"), to);
    form->addRow(QStringLiteral("内容"), kind);
    form->addRow(buttons);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return ExportChoice{from->date(), to->date(), journal::CsvKind(kind->currentData().toInt())};
}

// Why `order` is voided, asked together with the confirmation: one of the
// usual reasons or one typed. nullopt when the owner cancels.
std::optional<QString> askVoidReason(QWidget *parent, const Order &order)
{
    QDialog box(parent);
    box.setObjectName(QStringLiteral("voidDialog"));
    box.setWindowTitle(QStringLiteral("作废订单"));
    auto *what = new QLabel(QStringLiteral("作废 %1（%2 元）？\n作废的订单不再计入营业额，但仍保留在营业记录中。")
                                .arg(orderName(order), money(orderAmount(order))),
                            &box);
    what->setTextFormat(Qt::PlainText);
    auto *reason = new QComboBox(&box);
    reason->setObjectName(QStringLiteral("voidReason"));
    reason->setEditable(true);
    reason->addItems({QStringLiteral("点错"), QStringLiteral("退单"), QStringLiteral("测试")});
    reason->setAccessibleName(QStringLiteral("作废原因"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    QPushButton *confirm = buttons->button(QDialogButtonBox::Ok);
    confirm->setText(QStringLiteral("作废"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    // No void without a reason.
    QObject::connect(reason, &QComboBox::currentTextChanged, confirm,
                     [confirm](const QString &text) { confirm->setEnabled(!text.trimmed().isEmpty()); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    auto *form = new QFormLayout(&box);
    form->addRow(what);
    form->addRow(QStringLiteral("原因"), reason);
    form->addRow(buttons);
    if (box.exec() != QDialog::Accepted || reason->currentText().trimmed().isEmpty())
        return std::nullopt;
    return reason->currentText().trimmed();
}

// Prints on the default printer; a job the spooler took may still fail at
// the printer, and the owner hears of that a few seconds later too.
// Returns false when it was not sent.
bool printTelling(QWidget *window, const roll::Page &page)
{
    auto tell = [window](const QString &why) {
        design::reportError(window, QStringLiteral("打印失败：%1").arg(why));
    };
    const QString failure = bill::printOnDefaultPrinter(page, window, tell);
    if (!failure.isEmpty())
        tell(failure);
    return failure.isEmpty();
}

// Shows or hides every widget `layout` lays out, however deep.
void showLaidOut(QLayout *layout, bool visible)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (QWidget *widget = item->widget())
            widget->setVisible(visible);
        else if (QLayout *inner = item->layout())
            showLaidOut(inner, visible);
    }
}

// The outcome of a void, an export or a backup.
struct Outcome {
    bool ok = false;
    QString why;
};

}  // namespace

// What one reading of a day brings back from the journal's thread.
struct Reading {
    std::optional<QList<Order>> orders;
    DayRows rows;      // the figures and the rows of `orders`
    int select = -1;   // the order to select again, by its place in `orders`
    QString why;       // when the journal could not be read
    std::optional<QList<journal::OpenOrder>> open;  // the orders put aside now
    QString openWhy;
    QString setAside;  // a damaged journal this reading found and set aside
};

QString reprintText(const Order &order)
{
    // A paid order prints again as its receipt (结账单), any other as its bill.
    const QString text = order.payment ? payment::receiptText(order, payment::loadShop()) : order.billText;
    if (order.status != journal::OrderStatus::Voided)
        return text;
    QString head = QStringLiteral("已作废");
    if (!order.voidReason.trimmed().isEmpty())
        head += QStringLiteral("（%1）").arg(journal::singleLine(order.voidReason.trimmed()));
    return head + QStringLiteral("\r\n") + text;
}

TakingsWindow::TakingsWindow(journal::JournalService &service, QWidget *parent)
    : QWidget(parent, Qt::Window), m_service(service)
{
    setObjectName(QStringLiteral("TakingsWindow"));
    setWindowTitle(QStringLiteral("营业记录"));
    setFont(design::font(Face::SongTi, 10.5));
    buildControls();
    resize(1000, 680);
    // By keys as by the mouse: Enter presses the focused button, Escape
    // closes the window.
    tillinput::equip(this, {});
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &QWidget::close);
}

void TakingsWindow::buildControls()
{
    m_dayPicker = new QDateEdit(QDate::currentDate(), this);
    m_dayPicker->setObjectName(QStringLiteral("dayPicker"));
    m_dayPicker->setCalendarPopup(true);
    m_dayPicker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_dayPicker->setAccessibleName(QStringLiteral("日期"));
    connect(m_dayPicker, &QDateEdit::dateChanged, this, &TakingsWindow::showDay);
    m_readingNotice = new QLabel(QStringLiteral("正在读取…"), this);
    m_readingNotice->setObjectName(QStringLiteral("readingNotice"));
    m_readingNotice->hide();
    m_pendingNotice = new QLabel(this);
    m_pendingNotice->setObjectName(QStringLiteral("pendingNotice"));
    m_pendingNotice->setTextFormat(Qt::PlainText);
    m_pendingNotice->setWordWrap(true);
    m_pendingNotice->setStyleSheet(QStringLiteral("color: #b00000"));
    m_pendingNotice->hide();
    m_orderCount = figure(this, QStringLiteral("orderCount"));
    m_takings = figure(this, QStringLiteral("takings"));

    m_paymentTotals = table(this, QStringLiteral("paymentTotals"),
                            {QStringLiteral("收款"), QStringLiteral("笔数"), QStringLiteral("金额")}, 0);
    m_categoryTotals = table(this, QStringLiteral("categoryTotals"),
                             {QStringLiteral("类别"), QStringLiteral("金额")}, 0);
    fitRows(m_categoryTotals, journal::categoryCount);
    m_dishRows = new TextRowsModel({QStringLiteral("菜名"), QStringLiteral("类别"), QStringLiteral("小份"),
                                    QStringLiteral("大份"), QStringLiteral("金额")},
                                   {2, 3, 4}, this);
    m_dishTotals = list(this, QStringLiteral("dishTotals"), m_dishRows, 0);
    m_orderRows = new TextRowsModel({QStringLiteral("时间"), QStringLiteral("单号"), QStringLiteral("金额"),
                                     QStringLiteral("状态"), QStringLiteral("打印/复制")},
                                    {2}, this);
    m_orderList = list(this, QStringLiteral("orderList"), m_orderRows, 4);
    // Each table told by what it lists, not as one more table of so many rows.
    m_paymentTotals->setAccessibleName(QStringLiteral("今日汇总"));
    m_categoryTotals->setAccessibleName(QStringLiteral("类别"));
    m_dishTotals->setAccessibleName(QStringLiteral("菜品"));
    m_orderList->setAccessibleName(QStringLiteral("订单"));
    for (QAbstractItemView *t : std::initializer_list<QAbstractItemView *>{
             m_paymentTotals, m_categoryTotals, m_dishTotals, m_orderList})
        a11y::tellCurrentCellOnFocus(t);
    connect(m_orderList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TakingsWindow::showSelectedBill);
    m_billText = new QPlainTextEdit(this);
    m_billText->setObjectName(QStringLiteral("billText"));
    m_billText->setReadOnly(true);
    m_billText->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_billText->setTabChangesFocus(true);

    // Each button's object name, caption and what it does.
    struct Action {
        const char *name;
        const char *caption;
        void (TakingsWindow::*run)();
    };
    static const Action actions[] = {
        {"reprintButton", "重新打印", &TakingsWindow::reprintSelected},
        {"voidButton", "作废…", &TakingsWindow::voidSelected},
        {"printSummaryButton", "打印日结", &TakingsWindow::printDaySummary},
        {"exportButton", "导出…", &TakingsWindow::exportOrders},
        {"backupButton", "备份…", &TakingsWindow::backUp},
    };
    QHash<QString, QPushButton *> buttons;
    for (const Action &a : actions) {
        QPushButton *b = button(this, QString::fromLatin1(a.name), QString::fromUtf8(a.caption));
        connect(b, &QPushButton::clicked, this, a.run);
        buttons.insert(QString::fromLatin1(a.name), b);
    }
    m_reprint = buttons.value(QStringLiteral("reprintButton"));
    m_void = buttons.value(QStringLiteral("voidButton"));
    QPushButton *printSummary = buttons.value(QStringLiteral("printSummaryButton"));
    QPushButton *exportButton = buttons.value(QStringLiteral("exportButton"));
    QPushButton *backupButton = buttons.value(QStringLiteral("backupButton"));
    QPushButton *closeButton = button(this, QStringLiteral("closeButton"), QStringLiteral("关闭"));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    // The day, whose figures (this till's or the whole shop's), and this
    // till's two headline figures across the top.
    m_ownTill = new QRadioButton(QStringLiteral("本机"), this);
    m_ownTill->setObjectName(QStringLiteral("ownTillChoice"));
    m_ownTill->setChecked(true);
    m_wholeShop = new QRadioButton(QStringLiteral("全店"), this);
    m_wholeShop->setObjectName(QStringLiteral("wholeShopChoice"));
    m_wholeShop->setToolTip(QStringLiteral("全店各收银机的数字，从店铺数据库读取"));
    auto *headline = new QWidget(this);
    auto *figures = new QHBoxLayout(headline);
    figures->setContentsMargins(0, 0, 0, 0);
    figures->addWidget(new QLabel(QStringLiteral("订单数"), headline));
    figures->addWidget(m_orderCount);
    figures->addSpacing(24);
    figures->addWidget(new QLabel(QStringLiteral("营业额（元）"), headline));
    figures->addWidget(m_takings);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("日期"), this));
    top->addWidget(m_dayPicker);
    top->addSpacing(12);
    top->addWidget(m_ownTill);
    top->addWidget(m_wholeShop);
    top->addSpacing(24);
    top->addWidget(headline);
    top->addSpacing(24);
    top->addWidget(m_readingNotice);
    top->addStretch();

    // Left how it was paid and what was sold, right the orders and the
    // selected one's bill.
    auto *sold = new QVBoxLayout;
    sold->addWidget(new QLabel(QStringLiteral("收款（未结账、作废另计）"), this));
    sold->addWidget(m_paymentTotals);
    sold->addWidget(new QLabel(QStringLiteral("各类别合计"), this));
    sold->addWidget(m_categoryTotals);
    sold->addWidget(new QLabel(QStringLiteral("各菜品（金额从高到低）"), this));
    sold->addWidget(m_dishTotals, 4);
    sold->addWidget(printSummary, 0, Qt::AlignLeft);

    auto *orderButtons = new QHBoxLayout;
    orderButtons->addWidget(m_reprint);
    orderButtons->addWidget(m_void);
    orderButtons->addStretch();
    auto *bills = new QVBoxLayout;
    m_openSummary = new QLabel(journal::openOrdersText({}), this);
    m_openSummary->setObjectName(QStringLiteral("openOrderSummary"));
    m_openSummary->setTextFormat(Qt::PlainText);
    m_openSummary->setWordWrap(true);
    m_openList = table(this, QStringLiteral("openOrderList"),
                       {QStringLiteral("挂单"), QStringLiteral("挂单时间"), QStringLiteral("金额（元）")}, 0);
    m_openList->setAccessibleName(QStringLiteral("挂单"));
    m_openList->setAccessibleDescription(QStringLiteral("挂单中，不计入营业额"));
    a11y::tellCurrentCellOnFocus(m_openList);
    fitRows(m_openList, 3);
    m_openList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);  // more than three scroll
    bills->addWidget(m_openSummary);
    bills->addWidget(m_openList);
    bills->addWidget(new QLabel(QStringLiteral("当日订单"), this));
    bills->addWidget(m_orderList, 3);
    bills->addWidget(new QLabel(QStringLiteral("所选订单的清单"), this));
    bills->addWidget(m_billText, 4);
    bills->addLayout(orderButtons);

    auto *middle = new QHBoxLayout;
    middle->addLayout(sold, 1);
    middle->addLayout(bills, 1);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(exportButton);
    bottom->addWidget(backupButton);
    bottom->addStretch();
    bottom->addWidget(closeButton);

    // This till's day, or the whole shop's in its place.
    m_shopDay = new ShopDayView(this);
    m_shopDay->hide();
    connect(m_wholeShop, &QRadioButton::toggled, this, [this, middle, headline](bool shop) {
        showLaidOut(middle, !shop);
        headline->setVisible(!shop);
        m_shopDay->setVisible(shop);
        if (shop)
            m_shopDay->showDay(day());
    });

    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(m_pendingNotice);
    all->addLayout(middle, 1);
    all->addWidget(m_shopDay, 1);
    all->addLayout(bottom);

    // The keyboard starts on the day's headline figures, then goes through
    // what was sold, the orders and their buttons, the orders put aside and
    // the other buttons to the day picker.
    const QList<QWidget *> order = {m_orderCount, m_takings,    m_paymentTotals, m_categoryTotals,
                                    m_dishTotals, printSummary, m_orderList,     m_billText,
                                    m_reprint,    m_void,       m_openList,      exportButton,
                                    backupButton, closeButton,  m_dayPicker,     m_ownTill,
                                    m_wholeShop};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    m_orderCount->setFocus();
}

QDate TakingsWindow::day() const
{
    return m_dayPicker->date();
}

bool TakingsWindow::isReading() const
{
    return m_answered != m_reading;
}

void TakingsWindow::showDay(const QDate &day)
{
    {
        const QSignalBlocker quiet(m_dayPicker);
        m_dayPicker->setDate(day);
    }
    // The order selected stays selected when the same day is read again.
    const int index = selectedOrder();
    const qint64 select = day == m_summary.day && index >= 0 ? m_orders[index].id : 0;
    const int reading = ++m_reading;
    m_readingNotice->show();
    if (m_wholeShop->isChecked())
        m_shopDay->showDay(day);
    m_service.run<Reading>(
        this,
        [day, select](journal::Journal &j) {
            Reading r;
            r.orders = j.ordersOf(day);
            if (!r.orders)
                r.why = j.error();
            r.rows = dayRows(day, r.orders.value_or(QList<Order>()));
            for (int i = 0; select && r.orders && i < r.orders->size(); ++i)
                if (r.orders->at(i).id == select)
                    r.select = i;
            r.open = j.openOrders();
            if (!r.open)
                r.openWhy = j.error();
            r.setAside = j.takeNotice();
            return r;
        },
        [this, reading](Reading r) {
            if (reading != m_reading)
                return;  // the owner has picked another day since
            m_answered = reading;
            showOpenOrders(r.open, r.openWhy);
            shown(std::move(r));
        });
}

void TakingsWindow::shown(Reading reading)
{
    m_readingNotice->hide();
    const bool read = reading.orders.has_value();
    // What the window showed before is freed on another thread: a long
    // day's orders take a while to free.
    Reading before;
    before.orders = std::exchange(m_orders, std::move(reading.orders).value_or(QList<Order>()));
    m_summary = std::move(reading.rows.summary);
    before.rows.dishes = showFigures(std::move(reading.rows.dishes));
    before.rows.orders = showOrders(std::move(reading.rows.orders), reading.select);
    QThreadPool::globalInstance()->start([before = std::move(before)]() mutable { before = Reading(); });
    // Orders the journal could not write yet are not in the figures.
    const int pending = m_service.pendingCount();
    m_pendingNotice->setText(QStringLiteral("另有 %1 笔订单尚未写入营业记录，未计入以下数字。").arg(pending));
    m_pendingNotice->setVisible(pending > 0);
    // A damaged journal that this reading found and set aside.
    if (!reading.setAside.isEmpty())
        design::reportError(this, reading.setAside);
    if (!read)
        design::reportError(this, QStringLiteral("无法读取营业记录：%1").arg(reading.why));
    emit dayShown(read);
}

void TakingsWindow::showOpenOrders(const std::optional<QList<journal::OpenOrder>> &open, const QString &why)
{
    m_openOrders = open.value_or(QList<journal::OpenOrder>());
    m_openSummary->setText(open ? journal::openOrdersText(m_openOrders)
                                : QStringLiteral("无法读取挂单：%1").arg(why));
    m_openList->setRowCount(int(m_openOrders.size()));
    int row = 0;
    for (const journal::OpenOrder &o : std::as_const(m_openOrders))
        setRow(m_openList, row++, {journal::singleLine(o.name), journal::heldAtText(o.heldAt), money(o.total)}, {2});
}

QList<QStringList> TakingsWindow::showFigures(QList<QStringList> dishRows)
{
    const journal::DaySummary &s = m_summary;
    m_orderCount->setText(QString::number(s.orderCount));
    m_takings->setText(money(s.takings));
    // A screen reader says what the bare number is.
    m_orderCount->setAccessibleName(QStringLiteral("订单数 ") + m_orderCount->text());
    m_takings->setAccessibleName(QStringLiteral("营业额 %1元").arg(m_takings->text()));

    // From the paid orders' totals down to the takings and how they were
    // taken; then the orders counted apart.
    QList<QStringList> rows{{QStringLiteral("已结账"), QString::number(s.paidCount), money(s.paidTotal)},
                            {QStringLiteral("折扣"), QString(), money(-s.discounts)},
                            {QStringLiteral("抹零"), QString(), money(-s.roundings)},
                            {QStringLiteral("营业额"), QString(), money(s.takings)}};
    for (const journal::PaymentPart &part : s.byMethod)
        rows.append({QStringLiteral("　") + journal::singleLine(part.method), QString(), money(part.amount)});
    rows.append({QStringLiteral("未结账"), QString::number(s.unpaidCount), money(s.unpaidTotal)});
    rows.append({QStringLiteral("已作废"), QString::number(s.voidedCount), money(s.voidedTotal)});
    m_paymentTotals->setRowCount(int(rows.size()));
    fitRows(m_paymentTotals, int(rows.size()));  // every line of the reckoning in view
    for (int row = 0; row < rows.size(); ++row)
        setRow(m_paymentTotals, row, rows[row], {1, 2});

    // The categories in use: named, or with something sold.
    m_categoryTotals->setRowCount(0);
    int row = 0;
    for (const journal::CategorySummary &c : s.categories) {
        if (c.name.trimmed().isEmpty() && c.total == 0)
            continue;
        m_categoryTotals->setRowCount(row + 1);
        setRow(m_categoryTotals, row++, {categoryName(c.category, c.name), money(c.total)}, {1});
    }

    return m_dishRows->setRows(std::move(dishRows));
}

QList<QStringList> TakingsWindow::showOrders(QList<QStringList> rows, int select)
{
    QList<QStringList> before;
    {
        const QSignalBlocker quiet(m_orderList->selectionModel());
        before = m_orderRows->setRows(std::move(rows));
        // The order selected before, else the latest one: the one a
        // customer most likely asks for.
        selectOrder(select >= 0 ? select : int(m_orders.size()) - 1);
    }
    showSelectedBill();
    return before;
}

int TakingsWindow::selectedOrder() const
{
    const QModelIndexList rows = m_orderList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TakingsWindow::selectOrder(int index)
{
    if (index < 0 || index >= m_orders.size()) {
        m_orderList->clearSelection();
        return;
    }
    m_orderList->selectRow(index);
    m_orderList->scrollTo(m_orderRows->index(index, 0));
}

void TakingsWindow::showSelectedBill()
{
    const int index = selectedOrder();
    const QString bill = index < 0 ? QString() : reprintText(m_orders[index]);
    QString shown = bill;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar(u'\r'), QChar(u'\n'));
    m_billText->setPlainText(shown);
    const bool hasBill = index >= 0 && !reprintText(m_orders[index]).isEmpty();
    m_reprint->setEnabled(hasBill);
    m_reprint->setToolTip(index >= 0 && !hasBill ? QStringLiteral("该订单没有清单") : QString());
    // Said where the owner looks: on the button, and to a screen reader.
    const QString noVoid = index >= 0 ? journal::whyNotVoidable(m_orders[index]) : QString();
    m_void->setEnabled(index >= 0 && noVoid.isEmpty());
    m_void->setToolTip(noVoid);
    m_void->setAccessibleDescription(noVoid);
    // Said where the keyboard now is: 作废 itself is no longer enabled.
    if (m_voidToTell && index >= 0 && m_orders[index].id == m_voidToTell &&
        m_orders[index].status == journal::OrderStatus::Voided) {
        m_voidToTell = 0;
        a11y::sayNow(focusWidget() ? focusWidget() : m_void, QStringLiteral("已作废"));
    }
}

void TakingsWindow::reprintSelected()
{
    const int index = selectedOrder();
    if (index < 0 || reprintText(m_orders[index]).isEmpty()) {
        design::reportError(this, QStringLiteral("请先在订单列表中选择一张有清单的订单。"));
        return;
    }
    const Order &order = m_orders[index];
    if (!printTelling(this, payment::reprintPage(order, payment::loadShop(), QDateTime::currentDateTime())) ||
        order.uid.isEmpty())
        return;
    // Marked behind whatever the journal still has to write; the day read
    // again after it shows the mark in the list.
    m_service.mark(order.uid, journal::ReceiptReprinted);
    showDay(day());
}

void TakingsWindow::printDaySummary()
{
    // The figures shown, with the day's 交班 read for their differences and
    // the shop's header above.
    struct CashUps {
        std::optional<QList<journal::CashUp>> list;
        QString why;
    };
    const QDate day = m_summary.day;
    m_service.run<CashUps>(
        this, [day](journal::Journal &j) { return CashUps{j.cashUpsOf(day), j.error()}; },
        [this, summary = m_summary](CashUps read) mutable {
            if (!read.list) {
                design::reportError(this, QStringLiteral("无法读取交班记录，日结没有打印：%1").arg(read.why));
                return;
            }
            summary.cashUps = *read.list;
            printTelling(this, journal::summaryPage(summary, payment::loadShop().headerLines()));
        });
}

void TakingsWindow::reportOutcome(bool ok, const QString &why, const QString &success)
{
    if (!ok)
        design::reportError(this, why);
    else if (!success.isEmpty())
        inform(this, success);
    emit done(ok);
}

void TakingsWindow::voidSelected()
{
    const int index = selectedOrder();
    if (index < 0) {
        design::reportError(this, QStringLiteral("请先在订单列表中选择要作废的订单。"));
        return;
    }
    const Order &order = m_orders[index];
    if (const QString refused = journal::whyNotVoidable(order); !refused.isEmpty()) {
        design::reportError(this, refused);
        return;
    }
    const qint64 id = order.id;
    if (const std::optional<QString> reason = askVoidReason(this, order))
        voidOrder(id, *reason);
}

void TakingsWindow::voidOrder(qint64 id, const QString &reason)
{
    const QDateTime at = QDateTime::currentDateTime();
    m_service.run<Outcome>(
        this,
        [id, reason, at](journal::Journal &j) { return Outcome{j.voidOrder(id, reason, at), j.error()}; },
        [this, id](Outcome o) {
            if (o.ok) {
                m_voidToTell = id;
                showDay(day());  // the void shows in every figure; the order stays selected
            }
            reportOutcome(o.ok, QStringLiteral("没有作废：%1").arg(o.why), QString());
        });
}

void TakingsWindow::exportOrders()
{
    const std::optional<ExportChoice> choice = askExport(this, day());
    if (!choice)
        return;
    if (choice->from > choice->to) {
        design::reportError(this, QStringLiteral("起始日期晚于结束日期，没有导出任何内容。"));
        return;
    }
    const QString name = choice->kind == journal::CsvKind::Lines ? QStringLiteral("菜品明细_%1_%2.csv")
                                                                 : QStringLiteral("营业记录_%1_%2.csv");
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出营业记录"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(name.arg(choice->from.toString(Qt::ISODate), choice->to.toString(Qt::ISODate))),
        QStringLiteral("CSV 文件 (*.csv)"));
    if (!file.isEmpty())
        exportDays(choice->from, choice->to, choice->kind, file);
}

void TakingsWindow::exportDays(const QDate &from, const QDate &to, journal::CsvKind kind, const QString &file)
{
    if (from > to) {
        reportOutcome(false, QStringLiteral("起始日期晚于结束日期，没有导出任何内容。"), QString());
        return;
    }
    m_service.run<Outcome>(
        this,
        [from, to, kind, file](journal::Journal &j) {
            return Outcome{j.exportCsv(from, to, file, kind), j.error()};
        },
        [this](Outcome o) { reportOutcome(o.ok, QStringLiteral("导出失败：%1").arg(o.why), QString()); });
}

void TakingsWindow::backUp()
{
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("备份营业记录"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("营业记录备份_%1.sqlite")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))),
        QStringLiteral("营业记录数据库 (*.sqlite)"));
    if (!file.isEmpty())
        backUpTo(file);
}

void TakingsWindow::backUpTo(const QString &file)
{
    m_service.run<Outcome>(
        this, [file](journal::Journal &j) { return Outcome{j.backupTo(file), j.error()}; },
        [this, file](Outcome o) {
            reportOutcome(o.ok, QStringLiteral("备份失败：%1").arg(o.why),
                          QStringLiteral("营业记录已备份到 %1。").arg(QDir::toNativeSeparators(file)));
        });
}

TakingsWindow &openTakingsWindow(QWidget *parent)
{
    static QPointer<TakingsWindow> window;
    if (!window || window->parentWidget() != parent) {
        delete window;
        window = new TakingsWindow(journal::programJournalService(), parent);
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
