// One order sheet on its own: its design, the 56 quantity buttons, settle and
// clear, editing captions in place, the refused title-bar close, the
// proportional resize, and numbers beyond the range of a double.

#include "testsupport.h"

#include "common/caption_fit.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "sheets/settle_list.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QPainter>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>
#include <QtTest>

#include <array>

using namespace testsupport;

namespace {

// The fourteen dish rows, written out by hand rather than taken from the
// program's own naming rule, so that a slip in that rule shows up here.
struct Row {
    int number;
    const char *name;
    const char *smallQty, *largeQty, *smallPrice, *largePrice, *total;
    std::array<const char *, 4> buttons;  // small "-", small "+", large "-", large "+"
    int smallPriceWidth, largePriceWidth, totalWidth;  // twips
};

const Row rows[14] = {
    {1, "Label1", "L1", "L2", "l01", "l02", "la1",
     {"Command3", "Command4", "Command5", "Command6"}, 615, 615, 855},
    {2, "Label2", "L5", "L6", "l05", "l06", "La2",
     {"Command7", "Command8", "Command9", "Command10"}, 495, 615, 855},
    {3, "Label3", "L9", "L10", "l09", "l010", "La3",
     {"Command11", "Command12", "Command13", "Command14"}, 615, 735, 855},
    {4, "Label4", "L13", "L14", "l013", "l014", "La4",
     {"Command15", "Command16", "Command17", "Command18"}, 495, 735, 855},
    {5, "Label5", "L17", "L18", "l017", "l018", "La5",
     {"Command19", "Command20", "Command21", "Command22"}, 615, 615, 855},
    {6, "Label6", "L21", "L22", "l021", "l022", "La6",
     {"Command23", "Command24", "Command25", "Command26"}, 495, 615, 855},
    {7, "Label7", "L25", "L26", "l025", "l026", "La7",
     {"Command27", "Command28", "Command29", "Command30"}, 495, 615, 855},
    {8, "Label16", "L3", "L4", "l03", "l04", "La8",
     {"Command31", "Command32", "Command33", "Command34"}, 495, 735, 615},
    {9, "Label15", "L7", "L8", "l07", "l08", "La9",
     {"Command35", "Command36", "Command37", "Command38"}, 495, 855, 615},
    {10, "Label14", "L11", "L12", "l011", "l012", "La10",
     {"Command39", "Command40", "Command41", "Command42"}, 495, 735, 735},
    {11, "Label13", "L15", "L16", "l015", "l016", "La11",
     {"Command43", "Command44", "Command45", "Command46"}, 495, 735, 735},
    {12, "Label12", "L19", "L20", "l019", "l020", "La12",
     {"Command47", "Command48", "Command49", "Command50"}, 495, 615, 855},
    {13, "Label11", "L23", "L24", "l023", "l024", "La13",
     {"Command51", "Command52", "Command53", "Command54"}, 495, 615, 735},
    {14, "Label10", "L27", "L28", "l027", "l028", "La14",
     {"Command55", "Command56", "Command57", "Command58"}, 495, 615, 615},
};

const char *const headings[4] = {"Label8", "Label9", "Label45", "Label46"};

// Design geometry in twips, 15 to a pixel.
QRect px(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QStringList editableLabels()
{
    QStringList names;
    for (const Row &r : rows)
        names << r.name << r.smallPrice << r.largePrice;
    for (const char *h : headings)
        names << h;
    return names;
}

void prices(OrderSheet &sheet, const Row &row, const QString &small, const QString &large)
{
    set(sheet, row.smallPrice, small);
    set(sheet, row.largePrice, large);
}

void menu(OrderSheet &sheet, const Row &row, const QString &name, const QString &small,
          const QString &large)
{
    set(sheet, row.name, name);
    prices(sheet, row, small, large);
}

// Presses written as "+s +s +l -l": portion s(mall) or l(arge) of `row`.
void count(OrderSheet &sheet, const Row &row, const QString &presses)
{
    for (const QString &p : presses.split(u' ', Qt::SkipEmptyParts)) {
        const int index = (p[1] == u'l' ? 2 : 0) + (p[0] == u'+' ? 1 : 0);
        press(sheet, row.buttons[index]);
    }
}

// Every label caption of the sheet, by name.
QHash<QString, QString> captions(OrderSheet &sheet)
{
    QHash<QString, QString> all;
    for (QLabel *l : sheet.findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly))
        all.insert(l->objectName(), l->text());
    return all;
}

OrderSheet &openSheet(int category = 1)
{
    OrderSheet &sheet = orderSheet(category);
    sheet.showForm();
    return sheet;
}

void verifySongTi(QWidget *w, double points)
{
    QVERIFY2(w, "control missing");
    const QFont f = w->font();
    QCOMPARE(f.pointSizeF(), points);
    const QString fault = testsupport::familiesFault(
        f, {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN"),
            QStringLiteral("Noto Serif CJK SC")});
    QVERIFY2(fault.isEmpty(), qPrintable(w->objectName() + QStringLiteral(": ") + fault));
    QVERIFY(!f.bold());
}

}  // namespace

class TstSheet : public QObject {
    Q_OBJECT

private slots:
    void init() { clearStore(); }

    // Design
    void controlNamesAndKinds();
    void windowOfEachCategory();
    void rowDesign_data();
    void rowDesign();
    void otherControls_data();
    void otherControls();
    void firstLoadOnEmptyStore();

    // Quantity buttons and line totals
    void quantityButton_data();
    void quantityButton();
    void lineTotal_data();
    void lineTotal();
    void priceEditedAfterCounting();

    // Settle and clear
    void settleListsRowsInRowOrder();
    void subtotalChangesOnlyAtSettle();
    void clearResetsCountsOnly();

    // Editing
    void everyEditableLabelOpensTheBox();
    void editAnswer_data();
    void editAnswer();
    void pressesThatEditNothing();

    // Captions that do not fit
    void captionFits_data();
    void captionFits();
    void numbersDrawnWholeAndClear();

    // Window
    void titleBarCloseIsRefused();
    void resizeScalesEveryControl();

    // Overflow
    void overflowInLineTotal_data();
    void overflowInLineTotal();
    void overflowInSubtotal();
};

// ---------------------------------------------------------------- design ---

void TstSheet::controlNamesAndKinds()
{
    Program program;
    OrderSheet &sheet = orderSheet(1);

    QSet<QString> labels{QStringLiteral("Label17"), QStringLiteral("面钱")};
    QSet<QString> buttons{QStringLiteral("Command1"), QStringLiteral("Command59"),
                          QStringLiteral("Command2")};
    for (const Row &r : rows) {
        for (const char *n : {r.name, r.smallQty, r.largeQty, r.smallPrice, r.largePrice, r.total})
            labels << n;
        for (const char *b : r.buttons)
            buttons << b;
    }
    for (const char *h : headings)
        labels << h;
    QCOMPARE(labels.size(), 90);
    QCOMPARE(buttons.size(), 59);

    QSet<QString> all;
    for (QWidget *w : sheet.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w->objectName().isEmpty())
            continue;
        QVERIFY2(!all.contains(w->objectName()), qPrintable(w->objectName()));
        all << w->objectName();
        const bool isLabel = qobject_cast<QLabel *>(w), isButton = qobject_cast<QPushButton *>(w);
        QCOMPARE(isLabel, labels.contains(w->objectName()));
        QCOMPARE(isButton, buttons.contains(w->objectName()));
    }
    QCOMPARE(all, labels + buttons + QSet<QString>{QStringLiteral("Picture1")});
    QCOMPARE(all.size(), 150);
    QVERIFY(qobject_cast<SettleList *>(sheet.findChild<QWidget *>(QStringLiteral("Picture1"))));
    QVERIFY(!sheet.isLoaded());
}

void TstSheet::windowOfEachCategory()
{
    Program program;
    for (int k = 1; k <= 6; ++k) {
        OrderSheet &sheet = orderSheet(k);
        QCOMPARE(sheet.objectName(), QStringLiteral("Form%1").arg(k + 2));
        QCOMPARE(sheet.windowTitle(), QStringLiteral("面条"));
        QCOMPARE(sheet.size(), QSize(14595 / 15, 5985 / 15));
        QCOMPARE(sheet.findChild<QLabel *>(QStringLiteral("La14"))->geometry(),
                 px(5040 + 4680, 5520, 615, 375));
    }
}

void TstSheet::rowDesign_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < 14; ++i)
        QTest::addRow("row %d", i + 1) << i;
}

void TstSheet::rowDesign()
{
    QFETCH(int, index);
    const Row &r = rows[index];
    const int tops[7] = {480, 1320, 2160, 3000, 3840, 4680, 5520};
    const int top = tops[index % 7];
    const int x = index < 7 ? 0 : 5040;

    Program program;
    OrderSheet &sheet = orderSheet(1);  // not loaded: design captions
    struct Expected {
        const char *name;
        QRect rect;
        const char *caption;
        bool isButton;
    };
    const Expected controls[] = {
        {r.name, px(x, top, 1815, 375), "Label1", false},
        {r.buttons[0], px(x + 1440, top, 255, 255), "-", true},
        {r.smallQty, px(x + 1800, top, 255, 255), "0", false},
        {r.buttons[1], px(x + 2040, top, 255, 255), "+", true},
        {r.smallPrice, px(x + 2400, top, r.smallPriceWidth, 255), "6", false},
        {r.buttons[2], px(x + 3000, top, 255, 255), "-", true},
        {r.largeQty, px(x + 3360, top, 255, 255), "0", false},
        {r.buttons[3], px(x + 3600, top, 255, 255), "+", true},
        {r.largePrice, px(x + 3960, top, r.largePriceWidth, 255), "8", false},
        {r.total, px(x + 4680, top, r.totalWidth, 375), "0", false},
    };
    for (const Expected &e : controls) {
        QWidget *w = sheet.findChild<QWidget *>(QString::fromLatin1(e.name));
        QVERIFY2(w, e.name);
        QCOMPARE(w->geometry(), e.rect);
        verifySongTi(w, 14.25);
        if (e.isButton) {
            QCOMPARE(qobject_cast<QPushButton *>(w)->text(), QString::fromLatin1(e.caption));
        } else {
            auto *l = qobject_cast<QLabel *>(w);
            QCOMPARE(l->text(), QString::fromLatin1(e.caption));
            QCOMPARE(l->textFormat(), Qt::PlainText);
        }
    }
    QVERIFY(!sheet.isLoaded());
}

void TstSheet::otherControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<double>("points");
    QTest::addColumn<QString>("caption");
    auto add = [](const char *name, QRect rect, double points, const QString &caption) {
        QTest::newRow(name) << QString::fromUtf8(name) << rect << points << caption;
    };
    add("Label8", px(1560, 120, 1815, 375), 14.25, QStringLiteral("小份"));
    add("Label45", px(3120, 120, 1815, 375), 14.25, QStringLiteral("大份"));
    add("Label9", px(6600, 120, 1815, 375), 14.25, QStringLiteral("小份"));
    add("Label46", px(8160, 120, 1815, 375), 14.25, QStringLiteral("大份"));
    add("Picture1", px(10440, 120, 2415, 5295), 18, QString());
    add("Command1", px(12960, 120, 1455, 1455), 24, QStringLiteral("结算"));
    add("Command59", px(12960, 2280, 1455, 1455), 26.25, QStringLiteral("清零"));
    add("Command2", px(12960, 4440, 1455, 1455), 24, QStringLiteral("关闭"));
    add("Label17", px(10320, 5520, 1215, 375), 18, QStringLiteral("小计"));
    add("面钱", px(11880, 5520, 855, 375), 18, QStringLiteral("0"));
}

void TstSheet::otherControls()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QFETCH(double, points);
    QFETCH(QString, caption);

    Program program;
    OrderSheet &sheet = orderSheet(1);
    QWidget *w = sheet.findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), rect);
    verifySongTi(w, points);
    if (auto *l = qobject_cast<QLabel *>(w))
        QCOMPARE(l->text(), caption);
    else if (auto *b = qobject_cast<QPushButton *>(w))
        QCOMPARE(b->text(), caption);
    else
        QVERIFY(static_cast<SettleList *>(w)->lines().isEmpty());
    QVERIFY(!sheet.isLoaded());
}

void TstSheet::firstLoadOnEmptyStore()
{
    Program program;
    OrderSheet &sheet = openSheet();
    QVERIFY(sheet.isLoaded());
    QVERIFY(sheet.isVisible());
    for (const QString &name : editableLabels())
        QVERIFY2(text(sheet, name) == QStringLiteral(" "), qPrintable(name));
    for (const Row &r : rows)
        for (const char *n : {r.smallQty, r.largeQty, r.total})
            QCOMPARE(text(sheet, n), QStringLiteral("0"));
    QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("0"));
    QCOMPARE(text(sheet, QStringLiteral("Label17")), QStringLiteral("小计"));
    QVERIFY(sheet.settleList()->lines().isEmpty());

    // Each blank caption shows a grey hint where its text would go; the hint
    // is only painted: the caption and what a screen reader hears stay blank,
    // and a caption that holds text shows that text in black.
    auto darkest = [&sheet](const QString &name) {
        auto *l = static_cast<fit::FittingLabel *>(sheet.label(name));
        const QImage image = l->grab(l->captionArea()).toImage();
        int darkest = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        return darkest;
    };
    const int black = qGray(sheet.palette().color(QPalette::WindowText).rgb());
    const int grey = black + (qGray(sheet.palette().color(QPalette::Window).rgb()) - black) * 3 / 5;
    for (const QString &name : editableLabels()) {
        QVERIFY2(std::abs(darkest(name) - grey) < 48, qPrintable(name));
        const QString heard =
            QAccessible::queryAccessibleInterface(sheet.label(name))->text(QAccessible::Name);
        QVERIFY2(!heard.contains(QStringLiteral("右键")) && !heard.contains(QStringLiteral("价格")),
                 qPrintable(heard));
    }
    set(sheet, "Label1", QStringLiteral("面"));
    set(sheet, "l01", QStringLiteral("6"));
    QVERIFY(darkest(QStringLiteral("Label1")) < grey - 48);
    QVERIFY(darkest(QStringLiteral("l01")) < grey - 48);
    set(sheet, "Label1", QStringLiteral(" "));
    set(sheet, "l01", QStringLiteral(" "));

    // Every price is blank, so counting gives nothing to pay.
    count(sheet, rows[0], QStringLiteral("+s +l"));
    count(sheet, rows[13], QStringLiteral("+s"));
    QCOMPARE(text(sheet, "L1"), QStringLiteral("1"));
    QCOMPARE(text(sheet, "la1"), QStringLiteral("0"));
    QCOMPARE(text(sheet, "La14"), QStringLiteral("0"));
}

// ------------------------------------------------------- quantity buttons ---

void TstSheet::quantityButton_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("which");  // 0 small "-", 1 small "+", 2 large "-", 3 large "+"
    for (int i = 0; i < 14; ++i)
        for (int b = 0; b < 4; ++b)
            QTest::newRow(rows[i].buttons[b]) << i << b;
}

// Every button steps exactly its own quantity and recomputes exactly its own
// row; the other 13 rows, the headings and the subtotal stay as they were.
void TstSheet::quantityButton()
{
    QFETCH(int, index);
    QFETCH(int, which);
    const Row &row = rows[index];

    Program program;
    OrderSheet &sheet = openSheet();
    // Distinct prices and quantities everywhere, and a line total in each row
    // that no computation would produce.
    for (const Row &r : rows) {
        menu(sheet, r, QStringLiteral("菜%1").arg(r.number), QString::number(2 * r.number + 1),
             QString::number(10 * r.number + 7));
        set(sheet, r.smallQty, QString::number(r.number));
        set(sheet, r.largeQty, QString::number(r.number + 30));
        set(sheet, r.total, QStringLiteral("行%1").arg(r.number));
    }
    set(sheet, QStringLiteral("面钱"), QStringLiteral("99"));
    QHash<QString, QString> expected = captions(sheet);

    QPushButton *button = sheet.button(row.buttons[which]);
    const int step = which % 2 == 0 ? -1 : +1;
    QCOMPARE(button->text(), step < 0 ? QStringLiteral("-") : QStringLiteral("+"));
    press(sheet, row.buttons[which]);

    const bool small = which < 2;
    int sq = row.number, lq = row.number + 30;
    (small ? sq : lq) += step;
    const int total = sq * (2 * row.number + 1) + lq * (10 * row.number + 7);
    expected[small ? row.smallQty : row.largeQty] = QString::number(small ? sq : lq);
    expected[row.total] = QString::number(total);

    const QHash<QString, QString> after = captions(sheet);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1: expected \"%2\", got \"%3\"")
                                .arg(it.key(), it.value(), after.value(it.key()))));
}

void TstSheet::lineTotal_data()
{
    QTest::addColumn<QString>("smallPrice");
    QTest::addColumn<QString>("largePrice");
    QTest::addColumn<QString>("presses");
    QTest::addColumn<QString>("smallQty");
    QTest::addColumn<QString>("largeQty");
    QTest::addColumn<QString>("total");
    QTest::newRow("two small one large") << "6" << "8" << "+s +s +l" << "2" << "1" << "20";
    QTest::newRow("minus on zero") << "6" << "8" << "-s" << "0" << "0" << "0";
    QTest::newRow("minus stops at zero") << "6" << "8" << "+l +s -s -s" << "0" << "1" << "8";
    QTest::newRow("discount") << "-2" << "8" << "+s +s" << "2" << "0" << "-4";
    QTest::newRow("fractional price") << "6.5" << "8" << "+s +s +s" << "3" << "0" << "19.5";
    QTest::newRow("fifteen digits") << "0.1" << "0.2" << "+s +l" << "1" << "1" << "0.3";
    QTest::newRow("refund cancels") << "1.1" << "-3.3" << "+s +s +s +l" << "3" << "1" << "0";
    QTest::newRow("blank price") << " " << "8" << "+s +l" << "1" << "1" << "8";
    QTest::newRow("price with unit") << "12元" << "8" << "+s" << "1" << "0" << "12";
}

void TstSheet::lineTotal()
{
    QFETCH(QString, smallPrice);
    QFETCH(QString, largePrice);
    QFETCH(QString, presses);

    Program program;
    OrderSheet &sheet = openSheet();
    for (const int i : {0, 9}) {  // one row of each half
        const Row &r = rows[i];
        prices(sheet, r, smallPrice, largePrice);
        count(sheet, r, presses);
        QTEST(text(sheet, r.smallQty), "smallQty");
        QTEST(text(sheet, r.largeQty), "largeQty");
        QTEST(text(sheet, r.total), "total");
        QCOMPARE(text(sheet, r.smallPrice), smallPrice);  // the price text stays as typed
    }
    QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("0"));
}

// A confirmed price counts at once, as a press would count it, overflow
// included.
void TstSheet::priceEditedAfterCounting()
{
    Program program;
    OrderSheet &sheet = openSheet();
    const Row &r = rows[4];
    prices(sheet, r, QStringLiteral("6"), QStringLiteral("8"));
    count(sheet, r, QStringLiteral("+s +s"));
    QCOMPARE(text(sheet, r.total), QStringLiteral("12"));

    // the number of dialogs that opened
    auto editPrice = [&](const QString &typed, const QString &price = {}) {
        return answerModals(confirmingInputBox(typed),
                            [&] { rightPress(sheet.label(price.isEmpty() ? r.smallPrice : price)); });
    };
    QCOMPARE(editPrice(QStringLiteral("7")), 1);
    QCOMPARE(text(sheet, r.total), QStringLiteral("14"));
    count(sheet, r, QStringLiteral("+s +l"));
    QCOMPARE(text(sheet, r.total), QStringLiteral("29"));
    QCOMPARE(editPrice(QStringLiteral("10"), r.largePrice), 1);
    QCOMPARE(text(sheet, r.total), QStringLiteral("31"));

    QCOMPARE(editPrice(QStringLiteral("1e308")), 2);  // and the overflow message
    QCOMPARE(text(sheet, r.smallPrice), QStringLiteral("1e308"));
    QCOMPARE(text(sheet, r.total), QStringLiteral("31"));  // kept, as after a press
}

// ------------------------------------------------------- settle and clear ---

void TstSheet::settleListsRowsInRowOrder()
{
    Program program;
    OrderSheet &sheet = openSheet();
    menu(sheet, rows[2], QStringLiteral("牛肉面"), QStringLiteral("6"), QStringLiteral("8"));
    const QString longName = QStringLiteral("宫保鸡丁").repeated(5);  // too long for the list
    menu(sheet, rows[11], longName, QStringLiteral("4"), QStringLiteral("8"));
    menu(sheet, rows[4], QStringLiteral("退菜"), QStringLiteral("-6"), QStringLiteral("8"));
    menu(sheet, rows[6], QStringLiteral("赠送"), QStringLiteral(" "), QStringLiteral(" "));
    menu(sheet, rows[13], QStringLiteral(" "), QStringLiteral("0.25"), QStringLiteral(" "));
    count(sheet, rows[11], QStringLiteral("+s +s"));    // row 12 first: 8
    count(sheet, rows[2], QStringLiteral("+s +s +l"));  // row 3: 20
    count(sheet, rows[4], QStringLiteral("+s -l"));     // row 5: -6, a discount
    count(sheet, rows[6], QStringLiteral("+s +l"));     // row 7: 0, not listed
    count(sheet, rows[13], QStringLiteral("+s"));       // row 14, blank name: 0.25
    const QStringList list{QStringLiteral("牛肉面   20"), QStringLiteral("退菜   -6"),
                           longName + QStringLiteral("   8"), QStringLiteral("    0.25")};

    // A second press lists the same rows once.
    SettleList *box = sheet.settleList();
    for (int settle = 0; settle < 2; ++settle) {
        press(sheet, QStringLiteral("Command1"));
        QCOMPARE(box->lines(), list);
        QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("22.25"));
    }

    // Drawn as one table: the long name alone is shortened, at its end, and
    // every amount is whole in one column.
    const QList<SettleList::DrawnRow> drawn = box->drawnRows();
    const QStringList amounts{QStringLiteral("20"), QStringLiteral("-6"), QStringLiteral("8"),
                              QStringLiteral("0.25")};
    QCOMPARE(drawn.size(), 4);
    for (qsizetype i = 0; i < drawn.size(); ++i) {
        QCOMPARE(drawn[i].amount, amounts[i]);
        QCOMPARE(drawn[i].elided, i == 2);
        QCOMPARE(drawn[i].name.endsWith(u'…'), i == 2);
    }
    const QFontMetricsF metrics(box->listFont());
    QVERIFY(metrics.horizontalAdvance(drawn[2].name) <= box->nameWidth());
    QVERIFY(box->nameWidth() + metrics.horizontalAdvance(QStringLiteral(" -6")) <=
            box->contentsRect().width());
    const QPoint onLine3(20, box->contentsRect().top() + int(2.5 * box->lineHeight()));
    QHelpEvent help(QEvent::ToolTip, onLine3, box->mapToGlobal(onLine3));
    QCoreApplication::sendEvent(box, &help);
    QCOMPARE(QToolTip::text(), list[2]);
}

// The subtotal changes at "结算" only, and follows the rows down to nothing.
void TstSheet::subtotalChangesOnlyAtSettle()
{
    Program program;
    OrderSheet &sheet = openSheet();
    prices(sheet, rows[0], QStringLiteral("6"), QStringLiteral("8"));
    count(sheet, rows[0], QStringLiteral("+s +s +l"));
    QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("0"));
    press(sheet, QStringLiteral("Command1"));
    QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("20"));

    count(sheet, rows[0], QStringLiteral("+s"));
    QCOMPARE(text(sheet, "la1"), QStringLiteral("26"));
    QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("20"));
    QCOMPARE(sheet.settleList()->lines().size(), 1);

    count(sheet, rows[0], QStringLiteral("-s -s -s -s -l -l"));
    press(sheet, QStringLiteral("Command1"));
    QVERIFY(sheet.settleList()->lines().isEmpty());
    QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("0"));
}

void TstSheet::clearResetsCountsOnly()
{
    Program program;
    OrderSheet &sheet = openSheet();
    for (const Row &r : rows) {
        menu(sheet, r, QStringLiteral("菜%1").arg(r.number), QString::number(r.number),
             QStringLiteral("%1元").arg(r.number + 1));
        count(sheet, r, QStringLiteral("+s +s +l"));
    }
    set(sheet, "Label45", QStringLiteral("碗"));
    press(sheet, QStringLiteral("Command1"));
    QCOMPARE(sheet.settleList()->lines().size(), 14);
    QVERIFY(text(sheet, QStringLiteral("面钱")) != QStringLiteral("0"));
    QHash<QString, QString> before = captions(sheet);

    press(sheet, QStringLiteral("Command59"));
    QVERIFY(sheet.settleList()->lines().isEmpty());
    for (const Row &r : rows)
        for (const char *n : {r.smallQty, r.largeQty, r.total})
            before[n] = QStringLiteral("0");
    before[QStringLiteral("面钱")] = QStringLiteral("0");
    QCOMPARE(captions(sheet), before);
}

// ---------------------------------------------------------------- editing ---

void TstSheet::everyEditableLabelOpensTheBox()
{
    Program program;
    OrderSheet &sheet = openSheet();
    const QStringList names = editableLabels();
    QCOMPARE(names.size(), 46);
    for (const QString &name : names) {
        set(sheet, name, QStringLiteral("旧 ") + name);
        QString opened, title, prompt;
        const ModalAnswer answer =
            confirmingInputBox(QStringLiteral("新 ") + name, &opened, &title, &prompt);
        QVERIFY2(answerModals(answer, [&] { rightPress(sheet.label(name)); }) == 1,
                 qPrintable(name));
        QCOMPARE(opened, QStringLiteral("旧 ") + name);
        QCOMPARE(title, QStringLiteral("修改"));
        QCOMPARE(prompt, QStringLiteral("请输入新名称"));
        QCOMPARE(text(sheet, name), QStringLiteral("新 ") + name);
    }
}

void TstSheet::editAnswer_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    const QString was = QStringLiteral("原来");
    const QString longest = QString(40000, u'面');  // more than the edit field holds
    for (const char *label : {"Label12", "Label45", "l01"}) {  // dish name, heading, price
        const QString name = QString::fromLatin1(label);
        QTest::addRow("%s confirm", label) << name << was << true << "<b>x</b> 1" << "<b>x</b> 1";
        QTest::addRow("%s confirm empty", label) << name << was << true << "" << "";
        QTest::addRow("%s cancel", label) << name << was << false << "" << was;
        QTest::addRow("%s long, unchanged", label)
            << name << longest << true << longest.left(32767) << longest;
        QTest::addRow("%s half a pair", label)  // what is shown is what is stored
            << name << was << true << QString::fromUtf16(u"a\xd83d b\xde00 \xd83d\xde00")
            << QString::fromUtf16(u"a\xfffd b\xfffd \xd83d\xde00");
    }
}

void TstSheet::editAnswer()
{
    QFETCH(QString, label);
    QFETCH(QString, before);
    QFETCH(bool, confirm);
    QFETCH(QString, typed);

    Program program;
    OrderSheet &sheet = openSheet();
    set(sheet, label, before);
    QHash<QString, QString> expected = captions(sheet);
    QString opened;
    const ModalAnswer answer = confirm ? confirmingInputBox(typed, &opened)
                                       : cancellingInputBox(&opened);
    QCOMPARE(answerModals(answer, [&] { rightPress(sheet.label(label)); }), 1);
    QCOMPARE(opened, before.left(32767));
    QTEST(text(sheet, label), "expected");
    expected[label] = text(sheet, label);
    QCOMPARE(captions(sheet), expected);  // nothing else changed, nothing recomputed
}

// Only the right button edits, and only the 46 editable labels.
void TstSheet::pressesThatEditNothing()
{
    Program program;
    OrderSheet &sheet = openSheet();
    const QHash<QString, QString> before = captions(sheet);
    const std::pair<const char *, Qt::MouseButton> presses[] = {
        {"Label1", Qt::LeftButton}, {"Label45", Qt::LeftButton}, {"l01", Qt::LeftButton},
        {"l01", Qt::MiddleButton},  {"L1", Qt::RightButton},     {"L28", Qt::RightButton},
        {"la1", Qt::RightButton},   {"La14", Qt::RightButton},   {"面钱", Qt::RightButton},
        {"Label17", Qt::RightButton},
    };
    ModalWatch box(confirmingInputBox(QStringLiteral("改")));
    for (const auto &[label, button] : presses) {
        QWidget *target = sheet.label(QString::fromUtf8(label));
        QTest::mousePress(target, button);
        QTest::mouseRelease(target, button);
        QVERIFY2(box.count() == 0, label);
    }
    QCOMPARE(captions(sheet), before);
}

// --------------------------------------------------- captions that do not fit ---

void TstSheet::captionFits_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("room");  // twips to the control above it, or to its own edge
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("drawn");  // 0 as designed, 1 smaller, 2 cut with "…"
    QTest::addColumn<QString>("rightName");  // the right half's first dish name
    // (numbers are never cut: see numbersDrawnWholeAndClear)
    const QString name20 = QStringLiteral("宫保鸡丁").repeated(5), soup = QStringLiteral("汤");
    const std::tuple<const char *, int, QString, int, QString> rows[] = {
        {"Label1", 1440, QStringLiteral("牛肉面"), 0, soup},  // reaches under the "-" button
        {"Label1", 1440, QStringLiteral("牛肉拉面加蛋"), 1, soup},
        {"Label1", 1440, name20, 2, soup},
        {"Label8", 1560, QStringLiteral("小份"), 0, soup},  // the row below does not cover it
        {"Label8", 1560, QStringLiteral("小份\n中份\n大份\n特大份"), 2, soup},  // too many lines
    };
    for (const auto &[label, room, caption, drawn, rightName] : rows)
        QTest::addRow("%s %s %s", label, qPrintable(caption.left(6)), qPrintable(rightName))
            << QString::fromLatin1(label) << room << caption << drawn << rightName;
}

// A caption is drawn as designed when it fits, smaller when it does not, cut
// with "…" below the floor size with the whole caption as tooltip, and never
// under the control beside it; the control's own font never changes.
void TstSheet::captionFits()
{
    QFETCH(QString, label);
    QFETCH(int, room);
    QFETCH(QString, caption);
    QFETCH(int, drawn);
    QFETCH(QString, rightName);

    Program program;
    OrderSheet &sheet = openSheet();
    auto *l = static_cast<fit::FittingLabel *>(sheet.label(label));
    set(sheet, "Label16", rightName);
    l->setText(caption);
    l->grab();  // painted
    const fit::Fitted fitted = l->fitted();
    verifySongTi(l, 14.25);
    QCOMPARE(fitted.asDesigned, drawn == 0);
    QCOMPARE(fitted.elided, drawn == 2);
    QCOMPARE(l->toolTip(), drawn == 2 ? caption : QString());
    QVERIFY(fitted.font.pointSizeF() >= fit::floorPoints);
    QVERIFY(QFontMetricsF(fitted.font).horizontalAdvance(fitted.lines[0]) <= room / 15);
    if (drawn == 2)  // cut by width or by height: the last line drawn says so
        QVERIFY2(fitted.lines.last().endsWith(u'…'), qPrintable(fitted.lines.join(u'|')));

    sheet.resize(sheet.width() * 2, sheet.height());  // the room follows the layout
    QCOMPARE(l->fitted().asDesigned, drawn < 2);

    l->setText(QStringLiteral("1"));  // fits again: the whole caption is no longer offered
    l->grab();
    QCOMPARE(l->toolTip(), QString());
}

// The awkward numbers at once: four-digit totals in all fourteen rows, five-
// character prices, 12 and 100 as quantities, eight-character dish names in
// both halves. From the pixels: each number is drawn whole, as itself, with
// nothing over it; up to two-digit quantities and five-character prices and
// totals at their design size; a dish name that makes way starts after the
// number and keeps its whole text as tooltip.
void TstSheet::numbersDrawnWholeAndClear()
{
    Program program;
    OrderSheet &sheet = openSheet();
    const QString name8 = QStringLiteral("宫保鸡丁盖浇米饭");
    for (const Row &r : rows) {
        menu(sheet, r, name8, QStringLiteral("999.5"), QStringLiteral("12345"));
        set(sheet, r.smallQty, r.number % 2 ? QStringLiteral("12") : QStringLiteral("100"));
        set(sheet, r.largeQty, r.number % 2 ? QStringLiteral("100") : QStringLiteral("12"));
        set(sheet, r.total, QString::number(8000 + 111 * r.number));
    }
    press(sheet, QStringLiteral("Command1"));
    QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("123655"));

    const QImage shot = sheet.grab().toImage();
    const QColor ink = sheet.label("la1")->palette().color(QPalette::WindowText);
    QStringList numbers{QStringLiteral("面钱")};
    for (const Row &r : rows)
        numbers << r.smallQty << r.largeQty << r.smallPrice << r.largePrice << r.total;
    for (const QString &name : numbers) {
        const QLabel *l = sheet.label(name);
        const fit::PlacedNumber placed = fit::placeNumber(*l);
        const int designed = l->text() == QStringLiteral("100") ? 2 : 5;
        QVERIFY2(l->text().size() > designed || placed.font.pointSizeF() == l->font().pointSizeF(),
                 qPrintable(name));
        QVERIFY(placed.font.pointSizeF() >= fit::floorPoints);

        // The number drawn alone where it was placed gives the very pixels of
        // the sheet there: nothing cut it or was drawn over it.
        const QRect box = placed.ink.toAlignedRect();
        QVERIFY2(shot.rect().contains(box) && !box.isEmpty(), qPrintable(name));
        QImage alone(shot.size(), shot.format());
        alone.fill(sheet.palette().color(QPalette::Window));
        {
            QPainter painter(&alone);
            painter.setFont(placed.font);
            painter.setPen(ink);
            painter.drawText(placed.origin, l->text());
        }
        QVERIFY2(alone.copy(box) == shot.copy(box), qPrintable(name + u' ' + l->text()));
    }

    // The right half's names start after the left half's totals.
    for (const Row &r : rows) {
        if (r.number < 8)
            continue;
        auto *dish = static_cast<fit::FittingLabel *>(sheet.label(r.name));
        const double totalEnd = fit::placeNumber(*sheet.label(rows[r.number - 8].total)).ink.right();
        QVERIFY(dish->geometry().left() + dish->captionArea().left() > totalEnd);
        QCOMPARE(dish->toolTip(), dish->fitted().elided ? name8 : QString());
    }

    // Two numbers side by side keep some air between them: a row's large
    // price and its line total are not read as one number.
    for (const Row &r : rows) {
        const QRectF price = fit::placeNumber(*sheet.label(r.largePrice)).ink;
        const QRectF total = fit::placeNumber(*sheet.label(r.total)).ink;
        QVERIFY2(total.left() - price.right() >= 2, r.largePrice);
    }

    // A number too wide for its room even at the floor size starts at the
    // room's left edge, clear of the "+" before it, and runs on to the right.
    set(sheet, rows[0].smallPrice, QStringLiteral("1234567890.12345"));
    const fit::PlacedNumber wide = fit::placeNumber(*sheet.label(rows[0].smallPrice));
    QCOMPARE(wide.font.pointSizeF(), fit::floorPoints);
    QVERIFY(wide.ink.left() > sheet.button(rows[0].buttons[1])->geometry().right());
}

// ----------------------------------------------------------------- window ---

void TstSheet::titleBarCloseIsRefused()
{
    Program program;
    OrderSheet &sheet = openSheet();
    menu(sheet, rows[0], QStringLiteral("饺子"), QStringLiteral("6"), QStringLiteral(" "));
    count(sheet, rows[0], QStringLiteral("+s +s"));
    press(sheet, QStringLiteral("Command1"));
    const QHash<QString, QString> before = captions(sheet);
    const QStringList list = sheet.settleList()->lines();

    QVERIFY(!sheet.close());
    QVERIFY(sheet.isVisible());
    QCOMPARE(captions(sheet), before);
    QCOMPARE(sheet.settleList()->lines(), list);
}

void TstSheet::resizeScalesEveryControl()
{
    Program program;
    OrderSheet &sheet = openSheet();
    QHash<QString, QRect> design;
    QHash<QString, QFont> fonts;
    const auto controls = sheet.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *w : controls) {
        if (w->objectName().isEmpty())
            continue;
        design.insert(w->objectName(), w->geometry());
        fonts.insert(w->objectName(), w->font());
    }
    QCOMPARE(design.size(), 150);
    const QSize base = sheet.size();

    sheet.resize(base.width() * 2, base.height());
    QCOMPARE(sheet.size(), QSize(base.width() * 2, base.height()));
    for (QWidget *w : controls) {
        if (w->objectName().isEmpty())
            continue;
        const QRect was = design.value(w->objectName());
        const QRect now = w->geometry();
        QVERIFY2(now == QRect(was.x() * 2, was.y(), was.width() * 2, was.height()),
                 qPrintable(w->objectName()));
        QCOMPARE(w->font(), fonts.value(w->objectName()));
    }

    sheet.resize(base);
    for (QWidget *w : controls)
        if (!w->objectName().isEmpty())
            QVERIFY2(w->geometry() == design.value(w->objectName()), qPrintable(w->objectName()));
}

// --------------------------------------------------------------- overflow ---

void TstSheet::overflowInLineTotal_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("quantity");  // after the press that overflows
    QTest::addColumn<QString>("total");     // what the line total keeps
    QTest::newRow("product too large") << "1e308" << "1" << "1E+308";
    QTest::newRow("price too large") << "1e999" << "0" << "0";
}

// A press whose line total leaves the range of a double: the cashier is told,
// the press changes nothing (quantity and line total still agree), and the
// program goes on counting.
void TstSheet::overflowInLineTotal()
{
    QFETCH(QString, price);
    QFETCH(QString, quantity);

    Program program;
    OrderSheet &sheet = openSheet();
    prices(sheet, rows[0], price, QStringLiteral("8"));
    QString message;
    {
        ModalWatch box(acceptingMessageBox(&message));
        for (int presses = 0; presses < 3 && box.count() == 0; ++presses)
            count(sheet, rows[0], QStringLiteral("+s"));
        QCOMPARE(box.count(), 1);
    }
    QVERIFY2(message.contains(QStringLiteral("数值超出范围")), qPrintable(message));
    QTEST(text(sheet, "L1"), "quantity");
    QTEST(text(sheet, "la1"), "total");
    for (const QString &caption : captions(sheet))
        QVERIFY2(!caption.contains(QStringLiteral("inf"), Qt::CaseInsensitive), qPrintable(caption));

    // Still alive: the other portion and the other rows count as before.
    set(sheet, "l05", QStringLiteral("3"));
    count(sheet, rows[1], QStringLiteral("+s +s"));
    QCOMPARE(text(sheet, "La2"), QStringLiteral("6"));
}

void TstSheet::overflowInSubtotal()
{
    Program program;
    OrderSheet &sheet = openSheet();
    menu(sheet, rows[0], QStringLiteral("甲"), QStringLiteral("1e308"), QStringLiteral(" "));
    menu(sheet, rows[1], QStringLiteral("乙"), QStringLiteral("1e308"), QStringLiteral(" "));
    count(sheet, rows[0], QStringLiteral("+s"));
    press(sheet, QStringLiteral("Command1"));
    QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("1E+308"));

    count(sheet, rows[1], QStringLiteral("+s"));
    QString message;
    QCOMPARE(answerModals(acceptingMessageBox(&message),
                          [&] { press(sheet, QStringLiteral("Command1")); }),
             1);
    QVERIFY2(message.contains(QStringLiteral("数值超出范围")), qPrintable(message));
    QCOMPARE(sheet.settleList()->lines(),
             QStringList({QStringLiteral("甲   1E+308"), QStringLiteral("乙   1E+308")}));
    QCOMPARE(text(sheet, QStringLiteral("面钱")), QStringLiteral("1E+308"));
}

QTEST_MAIN(TstSheet)
#include "tst_sheet.moc"
