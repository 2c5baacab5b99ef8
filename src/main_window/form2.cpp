#include "main_window/form2.h"

#include "common/accessible_names.h"
#include "common/caption_fit.h"
#include "common/caption_number.h"
#include "common/categories.h"
#include "common/design.h"
#include "journal/report.h"
#include "main_window/bill.h"
#include "main_window/main_access.h"
#include "main_window/owner_menu.h"
#include "main_window/bill_print.h"
#include "payment/payment_window.h"
#include "payment/receipt.h"
#include "payment/shop_settings.h"
#include "settings/caption_store.h"
#include "shell/form1.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "till/journal_link.h"
#include "till/order_in_progress.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include <span>
#include <utility>

using design::Face;
using design::Twips;

namespace {

// A rule drawn as a one-pixel line between two design points.
QWidget *line(QWidget *parent, const QString &name, int x1, int y1, int x2, int y2)
{
    auto *rule = new QWidget(parent);
    rule->setObjectName(name);
    rule->setAutoFillBackground(true);
    QPalette palette = rule->palette();
    palette.setColor(QPalette::Window, Qt::black);
    rule->setPalette(palette);
    const QRect from = design::toPixels(Twips{x1, y1, x2 - x1, y2 - y1});
    rule->setGeometry(from.x(), from.y(), qMax(1, from.width()), qMax(1, from.height()));
    return rule;
}

// The bill area right of Line2 and above "挂单", "取单" and "下单", where the bill
// label sits at its design place (8400, 120) and scrolls when the bill is
// larger than the area.
constexpr Twips billArea{8400, 120, 11535 - 8400, 3540 - 120};

// Shows the bill label so that all of it can be reached. After "清单" the
// pane shows the bill's end, the total line at the left edge, and keeps
// showing it while the scroll bars come and go, until the cashier scrolls.
// The pane keeps its top-left corner; its right edge is the window's and its
// bottom stays above the buttons, or at the window's edge in a window too
// small for the design, so that its scroll bars are never out of sight.
class BillPane : public QScrollArea {
public:
    BillPane(QWidget *parent, QLabel *bill) : QScrollArea(parent)
    {
        setObjectName(QStringLiteral("BillPane"));
        setFrameShape(QFrame::NoFrame);
        setFocusPolicy(Qt::NoFocus);  // the design's tab order has buttons only
        setGeometry(design::toPixels(billArea));
        setWidget(bill);
        setWidgetResizable(false);
        for (QScrollBar *bar : {horizontalScrollBar(), verticalScrollBar()})
            connect(bar, &QAbstractSlider::actionTriggered, this, [this] { m_followEnd = false; });
    }

    void fitInto(const QSize &window)
    {
        QRect area = design::toPixels(billArea);
        area.setRight(std::max(area.left(), window.width() - 1));
        area.setBottom(std::max(area.top(), std::min(area.bottom(), window.height() - 1)));
        setGeometry(area);
    }

    void showEnd()
    {
        m_followEnd = true;
        followEnd();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool handled = QScrollArea::eventFilter(watched, event);
        // A bill set while the window is hidden is sized when it shows.
        if (watched == widget() && event->type() == QEvent::Resize)
            followEnd();
        return handled;
    }

    // Also runs when the viewport changes size as a scroll bar shows or hides.
    void resizeEvent(QResizeEvent *event) override
    {
        QScrollArea::resizeEvent(event);
        followEnd();
    }

private:
    void followEnd()
    {
        if (!m_followEnd)
            return;
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }

    bool m_followEnd = true;
};

// One control of the window as designed: name, place, font size, caption.
struct ControlDesign {
    const char *name;
    Twips rect;
    double points;
    const char16_t *caption;
};

// Category totals under their buttons, the grand total and the hidden
// holders of the bill's parts.
constexpr ControlDesign totals[] = {
    {"L1", {360, 4080, 975, 375}, 15.75, u"0"},  {"L2", {1680, 4080, 975, 375}, 15.75, u"0"},
    {"L3", {3000, 4080, 975, 375}, 15.75, u"0"}, {"L4", {4320, 4080, 975, 375}, 15.75, u"0"},
    {"L5", {5640, 4080, 975, 375}, 15.75, u"0"}, {"L6", {6960, 4080, 975, 375}, 15.75, u"0"},
};

constexpr ControlDesign billParts[] = {
    {"Label2", {8400, 120, 90, 180}, 9, u""},   {"Label3", {8400, 720, 90, 180}, 9, u""},
    {"Label4", {8400, 1200, 90, 180}, 9, u""},  {"Label5", {8400, 1680, 90, 180}, 9, u""},
    {"Label6", {8400, 2160, 90, 180}, 9, u""},  {"Label7", {8400, 2640, 90, 180}, 9, u""},
    {"Label8", {8400, 3120, 90, 180}, 9, u""},  {"Label9", {8400, 3600, 90, 180}, 9, u"0"},
};

constexpr ControlDesign categoryDesign[] = {
    {"C1", {240, 960, 1290, 2865}, 18, u"面条"},  {"C2", {1530, 960, 1290, 2865}, 18, u"小炒"},
    {"C3", {2820, 960, 1290, 2865}, 18, u"包子 馒头"}, {"c4", {4110, 960, 1290, 2865}, 18, u""},
    {"c5", {5400, 960, 1290, 2865}, 18, u""},      {"c6", {6690, 960, 1290, 2865}, 18, u""},
};

constexpr ControlDesign commandDesign[] = {
    {"Command1", {3960, 4920, 2325, 1245}, 18, u"一键归零"},
    {"Cm4", {6720, 4920, 1245, 1245}, 18, u"关闭"},
    {"Command2", {8280, 4920, 975, 1215}, 14.25, u"清单"},
    {"Command4", {9360, 4920, 975, 1215}, 14.25, u"复制"},
    {"Command3", {10440, 4920, 975, 1215}, 14.25, u"打印"},
};

// Taking the money, and the owner's menu for whoever has not found it on the
// heading: a row above "清单", "复制" and "打印", below the bill, as tall as
// a finger, covering no control of the design.
constexpr ControlDesign tillDesign[] = {
    {"CheckoutButton", {8280, 4260, 2205, 600}, 14.25, u"结账"},
    {"OwnerButton", {10560, 4260, 855, 600}, 10.5, u"店主"},
};

// Several tables at once: a row above "结账" in the columns of "清单", "复制"
// and "打印". "下单" shows only with a kitchen printer set.
constexpr ControlDesign tablesDesign[] = {
    {"HoldButton", {8280, 3600, 975, 600}, 14.25, u"挂单"},
    {"RecallButton", {9360, 3600, 975, 600}, 14.25, u"取单"},
    {"KitchenButton", {10440, 3600, 975, 600}, 14.25, u"下单"},
};

// The line naming the table brought back, between the category totals and
// "一键归零", beside the shop's link.
constexpr Twips tableArea{3960, 4500, 4080, 360};

}  // namespace

Form2::Form2() : Form(QStringLiteral("Form2"), QStringLiteral("Form2"), 11535, 6195)
{
    setFont(design::font(Face::SongTi, 9));
    buildControls();
}

void Form2::buildControls()
{
    auto name = [](const char *n) { return QString::fromLatin1(n); };
    // Looks a control up without loading the window: it is being built.
    auto find = [this](const QString &n) { return findChild<QPushButton *>(n, Qt::FindDirectChildrenOnly); };

    design::label(this, QStringLiteral("Label1"), {120, 120, 7935, 615},
                  design::font(Face::SongTi, 26.25), QStringLiteral("请选择类别"),
                  Qt::AlignHCenter | Qt::AlignTop);
    line(this, QStringLiteral("Line1"), 0, 840, 8160, 840);
    for (const ControlDesign &d : totals)
        fit::holdsNumber(design::label(this, name(d.name), d.rect,
                                       design::font(Face::SongTi, d.points),
                                       QString::fromUtf16(d.caption)),
                         fit::NumberRoom::Beside);
    fit::holdsNumber(design::label(this, QStringLiteral("L7"), {360, 5040, 3375, 1095},
                                   design::font(Face::SongTi, 42), QStringLiteral("0"),
                                   Qt::AlignHCenter | Qt::AlignTop),
                     fit::NumberRoom::Beside);
    line(this, QStringLiteral("Line2"), 8160, 0, 8160, 6840);
    for (const ControlDesign &d : billParts) {
        QLabel *l = design::label(this, name(d.name), d.rect, font(), QString::fromUtf16(d.caption));
        l->setWordWrap(false);
        if (l->objectName() == QStringLiteral("Label2"))
            new BillPane(this, l);  // at the same place, scrolling
        else
            l->hide();  // holders of the bill's parts, never shown
    }

    // Buttons after the labels, so that they lie above them.
    for (const ControlDesign &d : categoryDesign) {
        QPushButton *b = design::button(this, name(d.name), d.rect,
                                        design::font(Face::SongTi, d.points),
                                        QString::fromUtf16(d.caption));
        b->setProperty(fit::wordsWhole, true);  // "包子 馒头": "包子" over "馒头"
        b->setProperty(fit::hint, QStringLiteral("右键 输入 类别"));
        b->installEventFilter(this);
    }
    for (const Category &c : categories)
        connect(find(name(c.button)), &QPushButton::clicked, this,
                [this, number = c.number] { openCategory(number); });
    // The buttons of the design, then those of the till, each bound to its handler.
    using Designs = std::span<const ControlDesign>;
    for (Designs table : {Designs(commandDesign), Designs(tillDesign), Designs(tablesDesign)})
        for (const ControlDesign &d : table)
            design::button(this, name(d.name), d.rect, design::font(Face::SongTi, d.points),
                           QString::fromUtf16(d.caption));
    const std::pair<const char *, void (Form2::*)()> handlers[] = {
        {"Command1", &Form2::Command1_Click},         {"Cm4", &Form2::Cm4_Click},
        {"Command2", &Form2::Command2_Click},         {"Command3", &Form2::Command3_Click},
        {"Command4", &Form2::Command4_Click},         {"CheckoutButton", &Form2::CheckoutButton_Click},
        {"OwnerButton", &Form2::OwnerButton_Click},   {"HoldButton", &Form2::HoldButton_Click},
        {"RecallButton", &Form2::RecallButton_Click}, {"KitchenButton", &Form2::KitchenButton_Click},
    };
    for (const auto &[button, handler] : handlers)
        connect(find(name(button)), &QPushButton::clicked, this, handler);
    find(QStringLiteral("HoldButton"))->setToolTip(QStringLiteral("把这一单挂起（按桌号或名称），先接待下一位"));
    find(QStringLiteral("RecallButton"))->setToolTip(QStringLiteral("取回一张挂单"));
    find(QStringLiteral("KitchenButton"))->setToolTip(QStringLiteral("把新点和退掉的菜打印到厨房打印机"));
    find(QStringLiteral("KitchenButton"))->hide();  // until a kitchen printer is set
    find(QStringLiteral("CheckoutButton"))->setAccessibleName(QStringLiteral("结账"));
    find(QStringLiteral("OwnerButton"))->setAccessibleName(QStringLiteral("店主菜单"));
    find(QStringLiteral("OwnerButton"))->setToolTip(QStringLiteral("店主菜单：营业记录、交班、店铺信息……"));

    // The shop's link, for a till of a shop: between the category totals and
    // the grand total, where the design has nothing; hidden without a shop.
    QLabel *link = design::label(this, QStringLiteral("ShopLink"), {240, 4500, 3600, 360},
                                 design::font(Face::SongTi, 10.5), QString());
    link->setWordWrap(false);
    link->setAccessibleName(QStringLiteral("店铺数据库连接"));
    link->hide();

    // The table an order brought back with 取单 belongs to: right of the
    // shop's link, above "一键归零", where the design has nothing.
    QLabel *table = design::label(this, QStringLiteral("TableShown"), tableArea,
                                  design::font(Face::SongTi, 10.5), QString());
    table->setWordWrap(false);
    table->setAccessibleName(QStringLiteral("桌号"));
    table->hide();

    find(QStringLiteral("C1"))->setFocus();
    main_window::equipForAccess(*this);  // the tab order too
    owner_menu::equip(*this, *own("Label1"));
}

void Form2::showTable(const QString &name)
{
    QLabel *table = own("TableShown");
    const QString text = name.isEmpty() ? QString() : QStringLiteral("桌号：%1").arg(journal::singleLine(name));
    table->setText(text);
    table->setAccessibleName(text.isEmpty() ? QStringLiteral("桌号") : text);
    table->setVisible(!text.isEmpty());
}

void Form2::showShopLink(const QString &text)
{
    QLabel *link = own("ShopLink");
    link->setText(text);
    link->setAccessibleName(text.isEmpty() ? QStringLiteral("店铺数据库连接") : text);
    link->setVisible(!text.isEmpty());
}

QLabel *Form2::own(const char *name) const
{
    return findChild<QLabel *>(QString::fromLatin1(name));  // Label2 sits in its pane
}

void Form2::showBill(const QString &text)
{
    QLabel *bill = own("Label2");
    bill->setText(text);
    bill->adjustSize();
    static_cast<BillPane *>(findChild<QScrollArea *>(QStringLiteral("BillPane")))->showEnd();
}

QList<QWidget *> Form2::categoryButtons() const
{
    QList<QWidget *> list;
    for (const Category &c : categories)
        list.append(findChild<QPushButton *>(QString::fromLatin1(c.button),
                                             Qt::FindDirectChildrenOnly));
    return list;
}

bool Form2::GetSettingEx(const QList<QWidget *> &controls)
{
    return settings::GetSettingEx(objectName(), controls, settings::CaptionKind::CommandButton);
}

bool Form2::SaveSettingEx(const QList<QWidget *> &controls)
{
    return settings::SaveSettingEx(objectName(), controls, settings::CaptionKind::CommandButton);
}

void Form2::Form_Load()
{
    GetSettingEx(categoryButtons());
    const QString problem = settings::takeReadProblem();
    if (!problem.isEmpty())
        design::reportError(this, problem);
}

void Form2::openCategory(int category)
{
    QPushButton *categoryButton = button(QString::fromLatin1(categories[category - 1].button));
    const QString caption = categoryButton->text();
    // The window's focus comes back to this category with the window, whoever
    // pressed it (a screen reader's press moves no focus).
    categoryButton->setFocus();
    hide();
    OrderSheet &sheet = orderSheet(category);
    sheet.showForm();
    sheet.setWindowTitle(caption);
}

void Form2::renameCategory(QPushButton *categoryButton)
{
    if (const std::optional<QString> name =
            design::askNewName(this, categoryButton->text(), categoryButton))
        settings::setEditedCaption(categoryButton, *name);
}

bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    if (design::isRightPress(event)) {
        renameCategory(static_cast<QPushButton *>(watched));
        return true;
    }
    return Form::eventFilter(watched, event);
}

void Form2::Cm4_Click()
{
    const bool saved = SaveSettingEx(categoryButtons());
    hide();
    Form1 &welcome = form1();
    welcome.showForm();
    if (!saved)
        design::reportError(&welcome, settings::saveFailureMessage(QStringLiteral("类别名称")));
}

void Form2::closeEvent(QCloseEvent *event)
{
    // The title bar's close does what "关闭" does, so that the program is
    // never left running without a visible window.
    event->ignore();
    Cm4_Click();
}

void Form2::resizeEvent(QResizeEvent *event)
{
    Form::resizeEvent(event);
    if (auto *pane = findChild<QScrollArea *>(QStringLiteral("BillPane")))
        static_cast<BillPane *>(pane)->fitInto(size());
}

void Form2::clearWindow()
{
    for (const Category &c : categories)
        orderSheet(c.number).pressClear();
    for (const char *name : {"L1", "L2", "L3", "L4", "L5", "L6", "L7"})
        own(name)->setText(QStringLiteral("0"));
    for (const char *name : {"Label3", "Label4", "Label5", "Label6", "Label7", "Label8"})
        own(name)->setText(QString());
    showBill(QString());
    showTable(QString());
}

void Form2::Command1_Click()
{
    clearWindow();
    if (m_order)
        m_order->end(journal::OrderStatus::Unpaid);  // recorded as 未结账
}

void Form2::CheckoutButton_Click()
{
    const std::variant<journal::Fen, QString> taken = payment::amountToTake(own("L7")->text());
    if (const QString *refused = std::get_if<QString>(&taken)) {
        design::reportError(this, *refused);
        return;
    }
    const journal::Fen total = std::get<journal::Fen>(taken);
    if (!kitchenHasItAllBeforePaying())  // what the kitchen has not had goes first
        return;
    keepOnWindows();  // as it is taken: a crash from here on brings it back or finds it recorded
    payment::ShopSettings shop = payment::loadShop();
    payment::PaymentWindow window(total, shop, this);
    if (window.exec() != QDialog::Accepted)
        return;
    QString saveFailure;
    if (window.printReceipt() != shop.printReceipt)
        saveFailure = payment::savePrintChoice(window.printReceipt());
    // The table it was put aside under, before the order ends.
    const QString table = m_order ? m_order->heldName() : QString();
    clearWindow();
    // Whether its receipt goes to the printer is known before it is
    // recorded; a print that fails is marked on it afterwards.
    const int receipt = window.printReceipt() ? journal::ReceiptSent : 0;
    const journal::Order order = m_order ? m_order->end(journal::OrderStatus::Paid, window.payment(), receipt)
                                         : journal::Order{};
    if (window.printReceipt()) {
        auto tell = [this, uid = order.uid](const QString &why) {
            till::markReceipt(uid, journal::ReceiptFailed);
            design::reportError(this, QStringLiteral("结账单打印失败：%1\n这一单已经记下，可在“营业记录”中重新打印。").arg(why));
        };
        const QString failure = bill::printOnDefaultPrinter(payment::receiptPage(order, shop, {table, {}}), this, tell);
        if (!failure.isEmpty())
            tell(failure);
    }
    if (!saveFailure.isEmpty())
        design::reportError(this, saveFailure);
    // Heard as the keyboard comes back to 结账 (or at once, where it is there).
    a11y::sayNow(button(QStringLiteral("CheckoutButton")), payment::PaymentWindow::takenWords(window.payment()));
}

void Form2::OwnerButton_Click()
{
    // Below the button, clear of the finger or pointer that pressed it.
    QWidget *owner = button(QStringLiteral("OwnerButton"));
    // Pressed with the pointer elsewhere, the button was pressed by keys.
    owner_menu::open(*this, owner->mapToGlobal(QPoint(0, owner->height())), !owner->underMouse());
}

void Form2::Command2_Click()
{
    QLabel *number = own("Label9");
    number->setText(bill::nextNumber(number->text()));
    QStringList summaries;
    for (const Category &c : categories)
        summaries << own(c.summary)->text();
    showBill(bill::compose(number->text(), summaries, own("L7")->text()));
    if (m_order)
        m_order->billBuilt(int(captionValue(number->text()).value_or(0)), own("Label2")->text());
}

void Form2::Command3_Click()
{
    const QString shown = own("Label2")->text();
    // A job the spooler took may still fail at the printer: the cashier
    // hears of it a few seconds later, whichever window is open then.
    auto tell = [this, shown](const QString &why) {
        design::reportError(this, QStringLiteral("打印失败：%1\n%2").arg(why, own("Label2")->text() == shown
                                      ? QStringLiteral("清单仍保留在窗口中。")
                                      : QStringLiteral("窗口中的清单已经改变，原来的清单没有打印。")));
    };
    const QString printed = payment::withShopName(bill::printable(shown), payment::loadShop());
    const QString failure = bill::printOnDefaultPrinter(printed, this, tell);
    if (failure.isEmpty()) {
        if (m_order)
            m_order->billPrinted();
    } else
        design::reportError(this, QStringLiteral("打印失败：%1\n清单仍保留在窗口中。").arg(failure));
}

void Form2::Command4_Click()
{
    const QString shown = own("Label2")->text();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(shown);
    // Only one program at a time may hold the Windows clipboard open, and an
    // X server can refuse the selection: a copy is read back before it counts.
    // The platform may turn CR LF into LF on the way.
    auto lines = [](QString text) { return text.remove(QLatin1Char('\r')); };
    if (lines(clipboard->text()) != lines(shown)) {
        design::reportError(this, QStringLiteral("复制失败：剪贴板正被其他程序占用，清单没有复制。\n请稍后再按“复制”。"));
        return;
    }
    if (m_order)
        m_order->billCopied();
}
