#include "payment/payment_window.h"

#include "common/accessible_names.h"
#include "common/design.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace payment {

namespace {

using design::Face;

// Discount and 抹零 choices, in the order the lists show them.
enum DiscountChoice { NoDiscount, Rate90, Rate88, TypedRate, AmountOff };
enum RoundingChoice { NoRounding, ToYuan, ToJiao, TypedRounding };

constexpr int fingerHeight = 40;  // pixels: a button a finger can press
// 合计 and 应收 in one typeface, at the size that reads across the counter.
constexpr double amountPoints = 22;
// A 折扣 or 抹零 figure as wide as most restaurants ever give: its room is
// kept while it is empty, so that nothing moves when it appears.
const QString widestFigure = QStringLiteral("-88888.88");

// A method chosen shows so on every style: the native button drawn when it
// is not.
const QString chosenLook = QStringLiteral(
    "QPushButton:checked { background-color: palette(highlight); color: palette(highlighted-text);"
    " border: 2px solid palette(dark); border-radius: 3px; }");

QPushButton *fingerButton(QWidget *parent, const QString &name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setMinimumHeight(fingerHeight);
    b->setAutoDefault(false);
    b->setAccessibleName(caption);
    return b;
}

QLabel *figure(QWidget *parent, const QString &name, double points, const QString &spokenAs)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->setFont(design::font(Face::SongTi, points, true));
    l->setAccessibleName(spokenAs);
    return l;
}

// `widget` keeps its room in the layout while it is hidden.
void keepRoomWhenHidden(QWidget *widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

QLineEdit *amountField(QWidget *parent, const QString &name, const QString &spokenAs)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(spokenAs);
    e->setMinimumHeight(fingerHeight);
    e->setFont(design::font(Face::SongTi, 14));
    // Wide enough for any amount a customer hands over, however narrow the
    // window: the figures beside it never squeeze it.
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("88888.88")) + 2 * fingerHeight / 5);
    e->setPlaceholderText(QStringLiteral("0"));
    return e;
}

// A label's text told to a screen reader as its name, too.
void showFigure(QLabel *label, const QString &spokenAs, const QString &text)
{
    if (label->text() == text)
        return;
    label->setText(text);
    label->setAccessibleName(spokenAs + u' ' + text);
    QAccessibleEvent event(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

}  // namespace

PaymentWindow::PaymentWindow(Fen total, const ShopSettings &shop, QWidget *parent)
    : QDialog(parent), m_total(total)
{
    setObjectName(QStringLiteral("PaymentWindow"));
    setWindowTitle(QStringLiteral("结账"));
    setAccessibleName(QStringLiteral("结账"));
    setModal(true);
    buildControls(shop);
    refresh();
    m_methods.front().choice->setChecked(true);
    cashField()->setFocus();
}

void PaymentWindow::buildControls(const ShopSettings &shop)
{
    setFont(design::font(Face::SongTi, 12));
    auto *grid = new QGridLayout;
    int row = 0;
    auto caption = [this](const QString &text) { return new QLabel(text, this); };

    QLabel *total = figure(this, QStringLiteral("TotalValue"), amountPoints, QStringLiteral("合计"));
    showFigure(total, QStringLiteral("合计"), yuanText(m_total));
    grid->addWidget(caption(QStringLiteral("合计")), row, 0);
    grid->addWidget(total, row++, 1, 1, 2);

    m_discountChoice = new QComboBox(this);
    m_discountChoice->setObjectName(QStringLiteral("DiscountChoice"));
    m_discountChoice->setAccessibleName(QStringLiteral("折扣"));
    m_discountChoice->addItems({QStringLiteral("无折扣"), QStringLiteral("9折"), QStringLiteral("8.8折"),
                                QStringLiteral("输入折扣（折）"), QStringLiteral("减免金额（元）")});
    m_discountValue = amountField(this, QStringLiteral("DiscountValue"), QStringLiteral("折扣 数值"));
    m_discountValue->setPlaceholderText(QString());
    m_discountShown = figure(this, QStringLiteral("DiscountShown"), 12, QStringLiteral("折扣金额"));
    m_discountShown->setMinimumWidth(m_discountShown->fontMetrics().horizontalAdvance(widestFigure));
    QLabel *discountCaption = caption(QStringLiteral("折扣(&D)"));
    discountCaption->setBuddy(m_discountChoice);
    grid->addWidget(discountCaption, row, 0);
    grid->addWidget(m_discountChoice, row, 1);
    grid->addWidget(m_discountValue, row, 2);
    grid->addWidget(m_discountShown, row++, 3);

    m_roundingChoice = new QComboBox(this);
    m_roundingChoice->setObjectName(QStringLiteral("RoundingChoice"));
    m_roundingChoice->setAccessibleName(QStringLiteral("抹零"));
    m_roundingChoice->addItems({QStringLiteral("不抹零"), QStringLiteral("抹到元"), QStringLiteral("抹到角"),
                                QStringLiteral("输入抹零金额（元）")});
    m_roundingValue = amountField(this, QStringLiteral("RoundingValue"), QStringLiteral("抹零 金额"));
    m_roundingValue->setPlaceholderText(QString());
    m_roundingShown = figure(this, QStringLiteral("RoundingShown"), 12, QStringLiteral("抹零金额"));
    m_roundingShown->setMinimumWidth(m_roundingShown->fontMetrics().horizontalAdvance(widestFigure));
    QLabel *roundingCaption = caption(QStringLiteral("抹零(&R)"));
    roundingCaption->setBuddy(m_roundingChoice);
    grid->addWidget(roundingCaption, row, 0);
    grid->addWidget(m_roundingChoice, row, 1);
    grid->addWidget(m_roundingValue, row, 2);
    grid->addWidget(m_roundingShown, row++, 3);

    m_dueShown = figure(this, QStringLiteral("DueValue"), amountPoints, QStringLiteral("应收"));
    grid->addWidget(caption(QStringLiteral("应收")), row, 0);
    grid->addWidget(m_dueShown, row++, 1, 1, 3);

    // One row per method: its choice and its amount (for cash, what the
    // customer handed over).
    const QStringList methods = shop.methods();
    for (int i = 0; i < methods.size(); ++i) {
        MethodRow method{methods[i], nullptr, nullptr};
        method.choice = fingerButton(this, QStringLiteral("MethodButton%1").arg(i + 1), methods[i]);
        method.choice->setCheckable(true);
        method.choice->setStyleSheet(chosenLook);
        method.amount = amountField(this, i == 0 ? QStringLiteral("CashGiven") : QStringLiteral("MethodAmount%1").arg(i + 1),
                                    i == 0 ? QStringLiteral("现金 实收金额") : methods[i] + QStringLiteral(" 金额"));
        method.amount->setEnabled(false);
        grid->addWidget(method.choice, row, 1);
        grid->addWidget(method.amount, row++, 2);
        connect(method.choice, &QPushButton::toggled, this, [this, i](bool on) { methodToggled(i, on); });
        connect(method.amount, &QLineEdit::textChanged, this, &PaymentWindow::refresh);
        // The change is told once the typing pauses, not at every digit.
        connect(method.amount, &QLineEdit::textChanged, this,
                a11y::sayAfterPause(method.amount, [this] { return changeWords(); }));
        m_methods.append(method);
    }
    grid->addWidget(caption(QStringLiteral("付款方式")), row - methods.size(), 0);

    // The cash pad: quick amounts, then the digits.
    auto *pad = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        QPushButton *quick = fingerButton(this, QStringLiteral("QuickAmount%1").arg(i + 1), QString());
        connect(quick, &QPushButton::clicked, this, [this, i] { quickAmountPressed(i); });
        keepRoomWhenHidden(quick);  // the digits never move as the amounts come and go
        pad->addWidget(quick, 0, i);
        m_quick << quick;
    }
    const QStringList keys{QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9"), QStringLiteral("←"),
                           QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("清除"),
                           QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("."),
                           QStringLiteral("0"), QStringLiteral("00")};
    const QStringList keyNames{QStringLiteral("Key7"), QStringLiteral("Key8"), QStringLiteral("Key9"), QStringLiteral("KeyBack"),
                               QStringLiteral("Key4"), QStringLiteral("Key5"), QStringLiteral("Key6"), QStringLiteral("KeyClear"),
                               QStringLiteral("Key1"), QStringLiteral("Key2"), QStringLiteral("Key3"), QStringLiteral("KeyPoint"),
                               QStringLiteral("Key0"), QStringLiteral("Key00")};
    for (int i = 0; i < keys.size(); ++i) {
        QPushButton *key = fingerButton(this, keyNames[i], keys[i]);
        key->setFocusPolicy(Qt::NoFocus);  // the cash amount keeps the focus
        if (keys[i] == QStringLiteral("←"))
            key->setAccessibleName(QStringLiteral("退格"));
        connect(key, &QPushButton::clicked, this, [this, k = keys[i]] { keypadPressed(k); });
        pad->addWidget(key, 1 + i / 4, i % 4);
    }

    m_changeShown = figure(this, QStringLiteral("ChangeValue"), 28, QStringLiteral("找零"));
    // A long refusal wraps within its column rather than widen the window.
    m_changeShown->setWordWrap(true);
    m_changeShown->setMinimumHeight(2 * m_changeShown->fontMetrics().height());
    m_print = new QCheckBox(QStringLiteral("打印结账单"), this);
    m_print->setObjectName(QStringLiteral("PrintReceiptChoice"));
    m_print->setChecked(shop.printReceipt);
    m_confirm = fingerButton(this, QStringLiteral("ConfirmButton"), QStringLiteral("确认收款"));
    m_confirm->setDefault(true);
    m_confirm->setAutoDefault(true);
    QPushButton *cancel = fingerButton(this, QStringLiteral("CancelButton"), QStringLiteral("取消"));
    connect(m_confirm, &QPushButton::clicked, this, &PaymentWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    connect(m_discountChoice, &QComboBox::currentIndexChanged, this, &PaymentWindow::refresh);
    connect(m_roundingChoice, &QComboBox::currentIndexChanged, this, &PaymentWindow::refresh);
    connect(m_discountValue, &QLineEdit::textChanged, this, &PaymentWindow::refresh);
    connect(m_roundingValue, &QLineEdit::textChanged, this, &PaymentWindow::refresh);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_print);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_confirm);

    auto *right = new QVBoxLayout;
    right->addLayout(pad);
    right->addWidget(m_changeShown);
    right->addStretch();
    auto *columns = new QHBoxLayout;
    columns->addLayout(grid, 3);
    columns->addLayout(right, 2);
    auto *all = new QVBoxLayout(this);
    all->addLayout(columns);
    all->addLayout(buttons);

    // Digits typed on a list, a method or a button go to the cash amount too.
    for (QWidget *w : findChildren<QWidget *>())
        if (!qobject_cast<QLineEdit *>(w) && !qobject_cast<QLabel *>(w))
            w->installEventFilter(this);

    // Tab: the figures top to bottom, then the methods, then the buttons.
    QWidget *previous = m_discountChoice;
    for (QWidget *next : std::initializer_list<QWidget *>{m_discountValue, m_roundingChoice, m_roundingValue}) {
        setTabOrder(previous, next);
        previous = next;
    }
    for (const MethodRow &method : m_methods) {
        setTabOrder(previous, method.choice);
        setTabOrder(method.choice, method.amount);
        previous = method.amount;
    }
    for (QWidget *next : std::initializer_list<QWidget *>{m_quick[0], m_quick[1], m_quick[2], m_quick[3], m_print, cancel, m_confirm}) {
        setTabOrder(previous, next);
        previous = next;
    }
}

bool PaymentWindow::printReceipt() const
{
    return m_print->isChecked();
}

Discount PaymentWindow::discount() const
{
    switch (m_discountChoice->currentIndex()) {
    case Rate90:
        return Discount::rate(900);
    case Rate88:
        return Discount::rate(880);
    case TypedRate:
        if (const std::optional<int> rate = parseRate(m_discountValue->text()))
            return Discount::rate(*rate);
        break;
    case AmountOff:
        if (const std::optional<Fen> off = parseYuan(m_discountValue->text()))
            return Discount::off(*off);
        break;
    }
    return {};
}

Due PaymentWindow::due() const
{
    Rounding rounding;
    switch (m_roundingChoice->currentIndex()) {
    case ToYuan:
        rounding.kind = Rounding::ToYuan;
        break;
    case ToJiao:
        rounding.kind = Rounding::ToJiao;
        break;
    case TypedRounding:
        if (const std::optional<Fen> off = parseYuan(m_roundingValue->text()))
            rounding = {Rounding::Amount, *off};
        break;
    }
    return dueOf(m_total, discount(), rounding);
}

bool PaymentWindow::tenders(QList<Tender> &out, QString *why) const
{
    out.clear();
    for (const MethodRow &method : m_methods) {
        if (!method.choice->isChecked())
            continue;
        const QString text = method.amount->text().trimmed();
        const std::optional<Fen> amount = text.isEmpty() ? std::optional<Fen>(0) : parseYuan(text);
        if (!amount) {
            if (why)
                *why = QStringLiteral("“%1”的金额“%2”不是有效的金额：请输入数字，最多两位小数。").arg(method.method, text);
            return false;
        }
        out.append({method.method, *amount});
    }
    return true;
}

Fen PaymentWindow::restForCash() const
{
    Fen rest = due().due;
    QList<Tender> taken;
    tenders(taken, nullptr);
    for (const Tender &t : taken)
        if (t.method != cashMethod)
            rest -= t.amount;
    return std::max<Fen>(rest, 0);
}

void PaymentWindow::refresh()
{
    if (!m_changeShown)
        return;  // still being built
    const int discountChoice = m_discountChoice->currentIndex();
    m_discountValue->setEnabled(discountChoice == TypedRate || discountChoice == AmountOff);
    m_roundingValue->setEnabled(m_roundingChoice->currentIndex() == TypedRounding);

    const Due now = due();
    showFigure(m_discountShown, QStringLiteral("折扣金额"), now.discount ? QStringLiteral("-%1").arg(yuanText(now.discount)) : QString());
    showFigure(m_roundingShown, QStringLiteral("抹零金额"), now.rounding ? QStringLiteral("-%1").arg(yuanText(now.rounding)) : QString());
    showFigure(m_dueShown, QStringLiteral("应收"), yuanText(now.due));

    const QList<Fen> quick = quickAmounts(restForCash());
    for (int i = 0; i < m_quick.size(); ++i) {
        m_quick[i]->setVisible(i < quick.size());
        if (i < quick.size()) {
            m_quick[i]->setText(yuanText(quick[i]));
            m_quick[i]->setAccessibleName(QStringLiteral("现金 %1 元").arg(yuanText(quick[i])));
        }
    }

    QList<Tender> taken;
    QString why;
    if (!tenders(taken, &why)) {
        showFigure(m_changeShown, QStringLiteral("找零"), QStringLiteral("金额有误"));
        return;
    }
    const auto settled = settle(now, discount(), taken);
    if (const auto *paid = std::get_if<journal::Payment>(&settled))
        showFigure(m_changeShown, QStringLiteral("找零"), QStringLiteral("找零 %1").arg(yuanText(paid->change)));
    else
        showFigure(m_changeShown, QStringLiteral("找零"), std::get<QString>(settled));
}

QString PaymentWindow::changeWords() const
{
    QList<Tender> taken;
    if (!tenders(taken, nullptr))
        return QStringLiteral("金额有误");
    const auto settled = settle(due(), discount(), taken);
    if (const auto *paid = std::get_if<journal::Payment>(&settled))
        return QStringLiteral("找零 %1 元").arg(yuanText(paid->change));
    return std::get<QString>(settled);
}

QString PaymentWindow::takenWords(const journal::Payment &payment)
{
    QString words = QStringLiteral("已收款 %1 元").arg(yuanText(payment.due));
    if (payment.change > 0)
        words += QStringLiteral("，找零 %1 元").arg(yuanText(payment.change));
    return words;
}

void PaymentWindow::methodToggled(int index, bool on)
{
    MethodRow &method = m_methods[index];
    const auto chosen = [this](int i) { return m_methods[i].choice->isChecked(); };
    if (!on && std::none_of(m_methods.cbegin(), m_methods.cend(),
                            [](const MethodRow &m) { return m.choice->isChecked(); })) {
        // Pressed again, the one method chosen stays chosen: something pays.
        const QSignalBlocker quiet(method.choice);
        method.choice->setChecked(true);
        return;
    }
    method.amount->setEnabled(on);
    if (!on) {
        method.amount->clear();
    } else if (index > 0 || method.amount->text().isEmpty()) {
        // A second method takes what is left to pay; cash starts empty, for
        // what the customer hands over.
        Fen rest = due().due;
        QList<Tender> taken;
        tenders(taken, nullptr);
        for (const Tender &t : taken)
            if (t.method != method.method)
                rest -= t.amount;
        method.amount->setText(index > 0 && rest > 0 ? yuanText(rest) : QString());
        // Taking all that is left, it leaves the methods chosen with nothing
        // in them paying nothing: they no longer show as pressed.
        if (index > 0 && rest > 0)
            for (int other = 0; other < m_methods.size(); ++other)
                if (other != index && chosen(other) && m_methods[other].amount->text().trimmed().isEmpty())
                    m_methods[other].choice->setChecked(false);
        method.amount->setFocus();
        method.amount->selectAll();
    }
    refresh();
}

void PaymentWindow::keypadPressed(const QString &key)
{
    if (!m_methods.front().choice->isChecked())
        m_methods.front().choice->setChecked(true);
    QLineEdit *cash = cashField();
    if (key == QStringLiteral("清除"))
        cash->clear();
    else if (key == QStringLiteral("←"))
        cash->backspace();
    else
        cash->insert(key);
    cash->setFocus();
}

void PaymentWindow::quickAmountPressed(int index)
{
    const QList<Fen> quick = quickAmounts(restForCash());
    if (index >= quick.size())
        return;
    if (!m_methods.front().choice->isChecked())
        m_methods.front().choice->setChecked(true);
    cashField()->setText(yuanText(quick[index]));
    cashField()->setFocus();
}

namespace {
bool isCashKey(const QKeyEvent *key)
{
    const QString typed = key->text();
    return typed.size() == 1 && (typed[0].isDigit() || typed[0] == u'.') &&
           !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}
}  // namespace

bool PaymentWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && isCashKey(static_cast<QKeyEvent *>(event))) {
        keypadPressed(static_cast<QKeyEvent *>(event)->text());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void PaymentWindow::keyPressEvent(QKeyEvent *event)
{
    // Digits typed anywhere but in an amount go to the cash amount.
    if (isCashKey(event) && !qobject_cast<QLineEdit *>(focusWidget())) {
        keypadPressed(event->text());
        return;
    }
    QDialog::keyPressEvent(event);
}

void PaymentWindow::confirm()
{
    QList<Tender> taken;
    QString why;
    if (!tenders(taken, &why)) {
        design::reportError(this, why);
        return;
    }
    const int discountChoice = m_discountChoice->currentIndex();
    if ((discountChoice == TypedRate && !parseRate(m_discountValue->text())) ||
        (discountChoice == AmountOff && !parseYuan(m_discountValue->text()))) {
        design::reportError(this, discountChoice == TypedRate
                                      ? QStringLiteral("折扣“%1”无效：请输入 0 到 10 之间的折数，例如 9 或 8.5。").arg(m_discountValue->text())
                                      : QStringLiteral("减免金额“%1”无效：请输入金额，最多两位小数。").arg(m_discountValue->text()));
        return;
    }
    if (m_roundingChoice->currentIndex() == TypedRounding && !parseYuan(m_roundingValue->text())) {
        design::reportError(this, QStringLiteral("抹零金额“%1”无效：请输入金额，最多两位小数。").arg(m_roundingValue->text()));
        return;
    }
    const auto settled = settle(due(), discount(), taken);
    if (const auto *refused = std::get_if<QString>(&settled)) {
        design::reportError(this, *refused);
        cashField()->setFocus();
        return;
    }
    m_payment = std::get<journal::Payment>(settled);
    accept();
}

}  // namespace payment
