#include "sheets/order_sheet.h"

#include "common/caption_fit.h"
#include "common/caption_number.h"
#include "common/categories.h"
#include "common/design.h"
#include "main_window/form2.h"
#include "settings/caption_store.h"
#include "shell/program.h"
#include "sheets/sheet_access.h"
#include "sheets/settle_list.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

using design::Face;
using design::Twips;
using sheet::DishRow;
using sheet::Portion;

namespace {

const QString subtotalName = QStringLiteral("面钱");
const QString crlf = QStringLiteral("\r\n");

QString rowWhat(const DishRow &row, const char16_t *quantity)
{
    return QStringLiteral("第%1行的%2").arg(row.number).arg(QString::fromUtf16(quantity));
}

}  // namespace

OrderSheet::OrderSheet(const QString &name, const QString &summaryLabel, const QString &totalLabel)
    : ProportionalForm(name, QStringLiteral("面条"), sheet::clientWidth, sheet::clientHeight),
      m_summaryLabel(summaryLabel),
      m_totalLabel(totalLabel)
{
    buildControls();
}

void OrderSheet::buildControls()
{
    namespace col = sheet::column;
    const QFont rowFont = design::font(Face::SongTi, sheet::rowFontPoints);
    auto addLabel = [&](const QString &name, const Twips &rect, const QString &caption,
                        const QFont &font) {
        m_labels.insert(name, design::label(this, name, rect, font, caption));
    };
    auto addButton = [&](const QString &name, const Twips &rect, const QString &caption,
                         const QFont &font) {
        QPushButton *b = design::button(this, name, rect, font, caption);
        m_buttons.insert(name, b);
        return b;
    };

    // Labels first, so that the buttons lie above them where they overlap.
    for (const DishRow &row : sheet::dishRows()) {
        const int x = row.left, y = row.top;
        addLabel(row.dishName, {x, y, col::dishName.width, col::dishName.height},
                 QStringLiteral("Label1"), rowFont);
        addLabel(row.smallQuantity, {x + col::smallQuantity, y, col::cell, col::cell},
                 QStringLiteral("0"), rowFont);
        addLabel(row.smallPrice, {x + col::smallPrice, y, row.smallPriceWidth, col::cell},
                 QStringLiteral("6"), rowFont);
        addLabel(row.largeQuantity, {x + col::largeQuantity, y, col::cell, col::cell},
                 QStringLiteral("0"), rowFont);
        addLabel(row.largePrice, {x + col::largePrice, y, row.largePriceWidth, col::cell},
                 QStringLiteral("8"), rowFont);
        addLabel(row.lineTotal, {x + col::lineTotal, y, row.lineTotalWidth, col::lineTotalHeight},
                 QStringLiteral("0"), rowFont);
    }
    for (const sheet::Heading &h : sheet::headings)
        addLabel(QString::fromLatin1(h.name), {h.left, 120, 1815, 375},
                 QString::fromUtf16(h.caption), rowFont);

    const QFont big = design::font(Face::SongTi, 18);
    m_picture = new SettleList(this);
    m_picture->setObjectName(QStringLiteral("Picture1"));
    m_picture->setFont(big);
    m_picture->setGeometry(design::toPixels(Twips{10440, 120, 2415, 5295}));
    addLabel(QStringLiteral("Label17"), {10320, 5520, 1215, 375}, QStringLiteral("小计"), big);
    addLabel(subtotalName, {11880, 5520, 855, 375}, QStringLiteral("0"), big);

    // Numbers are never cut: quantities take the gap between their "-" and
    // "+", prices and totals the room beside them.
    for (const DishRow &row : sheet::dishRows()) {
        for (const QString &quantity : {row.smallQuantity, row.largeQuantity})
            fit::holdsNumber(m_labels.value(quantity), fit::NumberRoom::Centred);
        for (const QString &amount : {row.smallPrice, row.largePrice, row.lineTotal})
            fit::holdsNumber(m_labels.value(amount), fit::NumberRoom::Beside);
    }
    fit::holdsNumber(m_labels.value(subtotalName), fit::NumberRoom::Beside);

    // One handler for the 56 quantity buttons, bound to each button's row,
    // portion and step.
    for (const DishRow &row : sheet::dishRows()) {
        const int lefts[4] = {col::smallMinus, col::smallPlus, col::largeMinus, col::largePlus};
        for (int i = 0; i < 4; ++i) {
            const sheet::QuantityButton &qb = row.buttons[i];
            QPushButton *b = addButton(qb.name, {row.left + lefts[i], row.top, col::cell, col::cell},
                                       qb.step < 0 ? QStringLiteral("-") : QStringLiteral("+"),
                                       rowFont);
            connect(b, &QPushButton::clicked, this, [this, &qb] { quantityPressed(qb); });
        }
    }
    connect(addButton(QStringLiteral("Command1"), {12960, 120, 1455, 1455}, QStringLiteral("结算"),
                      design::font(Face::SongTi, 24)),
            &QPushButton::clicked, this, &OrderSheet::Command1_Click);
    connect(addButton(QStringLiteral("Command59"), {12960, 2280, 1455, 1455},
                      QStringLiteral("清零"), design::font(Face::SongTi, 26.25)),
            &QPushButton::clicked, this, &OrderSheet::Command59_Click);
    connect(addButton(QStringLiteral("Command2"), {12960, 4440, 1455, 1455}, QStringLiteral("关闭"),
                      design::font(Face::SongTi, 24)),
            &QPushButton::clicked, this, &OrderSheet::Command2_Click);

    // The 46 editable labels answer the right button; while blank they say
    // what goes there.
    for (const QString &name : sheet::captionList())
        m_labels.value(name)->installEventFilter(this);
    for (const DishRow &row : sheet::dishRows()) {
        m_labels.value(row.dishName)->setProperty(fit::hint, QStringLiteral("右键输入菜名"));
        for (const QString &price : {row.smallPrice, row.largePrice})
            m_labels.value(price)->setProperty(fit::hint, QStringLiteral("价格"));
    }
    for (const sheet::Heading &h : sheet::headings)
        m_labels.value(QString::fromLatin1(h.name))->setProperty(fit::hint, QStringLiteral("份量"));
    sheet::equipForAccess(*this);
}

void OrderSheet::Form_Load()
{
    ResizeInit();
    GetSettingEx(captionControls());
    const QString problem = settings::takeReadProblem();
    if (!problem.isEmpty())
        design::reportError(this, problem);
}

QList<QWidget *> OrderSheet::captionControls() const
{
    QList<QWidget *> list;
    for (const QString &name : sheet::captionList())
        list.append(m_labels.value(name));
    return list;
}

bool OrderSheet::GetSettingEx(const QList<QWidget *> &controls)
{
    return settings::GetSettingEx(objectName(), controls, settings::CaptionKind::Label);
}

bool OrderSheet::SaveSettingEx(const QList<QWidget *> &controls)
{
    return settings::SaveSettingEx(objectName(), controls, settings::CaptionKind::Label);
}

QLabel *OrderSheet::label(const QString &name)
{
    ensureLoaded();
    return m_labels.value(name);
}

QPushButton *OrderSheet::button(const QString &name)
{
    ensureLoaded();
    return m_buttons.value(name);
}

SettleList *OrderSheet::settleList()
{
    ensureLoaded();
    return m_picture;
}

QString OrderSheet::subtotal()
{
    return label(subtotalName)->text();
}

void OrderSheet::pressClear()
{
    button(QStringLiteral("Command59"))->click();
}

void OrderSheet::quantityPressed(const sheet::QuantityButton &b)
{
    const DishRow &row = sheet::dishRows()[b.row - 1];
    design::guarded(this, [&] {
        const QString qtyWhat = rowWhat(row, u"数量");
        QLabel *stepped = m_labels.value(b.portion == Portion::Small ? row.smallQuantity
                                                                      : row.largeQuantity);
        const double quantity = captionOperand(stepped->text(), qtyWhat) + b.step;
        if (b.step < 0 && quantity < 0)
            return;  // nothing to take back: a quantity never goes below 0
        const QString before = stepped->text();
        stepped->setText(captionText(checkedResult(quantity, qtyWhat)));
        try {
            recomputeLineTotal(row);
        } catch (const NumberOverflow &) {
            // The line total cannot take the new quantity: the press changes
            // nothing, so that quantity and line total still agree.
            stepped->setText(before);
            throw;
        }
    });
}

void OrderSheet::recomputeLineTotal(const DishRow &row)
{
    const QString totalWhat = rowWhat(row, u"金额");
    const double smallPrice = captionOperand(m_labels.value(row.smallPrice)->text(), totalWhat);
    const double largeQuantity =
        captionOperand(m_labels.value(row.largeQuantity)->text(), totalWhat);
    const double largePrice = captionOperand(m_labels.value(row.largePrice)->text(), totalWhat);
    const double smallQuantity =
        captionOperand(m_labels.value(row.smallQuantity)->text(), totalWhat);
    const double portions[2] = {smallQuantity * smallPrice, largeQuantity * largePrice};
    m_labels.value(row.lineTotal)->setText(captionText(checkedSum(portions, totalWhat)));
}

bool OrderSheet::Command1_Click()
{
    return design::guarded(this, [&] {
        m_picture->clear();
        const QString what = QStringLiteral("结算的小计");
        double values[sheet::rowCount];
        for (const DishRow &row : sheet::dishRows()) {
            const QString total = m_labels.value(row.lineTotal)->text();
            values[row.number - 1] = captionOperand(total, what);
            // Every row with something on it, discounts (negative totals)
            // included, so that the subtotal is the sum of the listed lines.
            if (values[row.number - 1] != 0)
                m_picture->printRow(m_labels.value(row.dishName)->text(), total);
        }
        m_labels.value(subtotalName)->setText(captionText(checkedSum(values, what)));
    });
}

void OrderSheet::Command59_Click()
{
    m_picture->clear();
    const QString zero = QStringLiteral("0");
    for (const DishRow &row : sheet::dishRows())
        m_labels.value(row.lineTotal)->setText(zero);
    for (int n = 1; n <= 28; ++n)
        m_labels.value(QStringLiteral("L%1").arg(n))->setText(zero);
    m_labels.value(subtotalName)->setText(zero);
}

QList<const DishRow *> OrderSheet::handedRows() const
{
    QList<const DishRow *> rows;
    for (const DishRow &row : sheet::dishRows()) {
        const std::optional<double> value = captionValue(m_labels.value(row.lineTotal)->text());
        if (value && *value != 0)
            rows.append(&row);  // the rows the settle list leaves out are left out here too
    }
    return rows;
}

QString OrderSheet::orderLines() const
{
    QString text;
    for (const DishRow *row : handedRows())
        text += crlf + m_labels.value(row->dishName)->text() + u' ' +
                m_labels.value(row->smallQuantity)->text() +
                m_labels.value(row->smallHeading)->text() + u' ' +
                m_labels.value(row->largeQuantity)->text() +
                m_labels.value(row->largeHeading)->text() + u' ' +
                m_labels.value(row->lineTotal)->text();
    return text;
}

QList<journal::OrderLine> OrderSheet::orderLineRecords() const
{
    auto value = [this](const QString &label) {
        return captionValue(m_labels.value(label)->text()).value_or(0);
    };
    QList<journal::OrderLine> lines;
    for (const DishRow *row : handedRows()) {
        journal::OrderLine line;
        line.dish = m_labels.value(row->dishName)->text();
        line.smallQuantity = value(row->smallQuantity);
        line.smallHeading = m_labels.value(row->smallHeading)->text();
        line.largeQuantity = value(row->largeQuantity);
        line.largeHeading = m_labels.value(row->largeHeading)->text();
        line.lineTotal = value(row->lineTotal);
        lines.append(line);
    }
    return lines;
}

void OrderSheet::handOn(const QString &categoryName)
{
    Form2 &main = form2();
    main.control<QLabel>(m_summaryLabel)->setText(orderLines());
    main.control<QLabel>(m_totalLabel)->setText(subtotal());
    for (const Category &c : categories)
        if (m_summaryLabel == QLatin1String(c.summary))
            emit handedOff(c.number, categoryName, captionValue(subtotal()).value_or(0),
                           orderLineRecords());
}

bool OrderSheet::sumGrandTotal()
{
    // Sheets not used yet are created and loaded (not shown) here.
    double subtotals[6];
    return design::guarded(this, [&] {
        const QString what = QStringLiteral("总计");
        for (int category : {2, 3, 4, 5, 6, 1})
            subtotals[category - 1] = captionOperand(orderSheet(category).subtotal(), what);
        form2().control<QLabel>(QStringLiteral("L7"))->setText(captionText(checkedSum(subtotals, what)));
    });
}

void OrderSheet::Command2_Click()
{
    // Settle first, so that the subtotal handed on always matches the order
    // lines handed on, even when the cashier did not press "结算".
    if (!Command1_Click())
        return;

    const bool saved = SaveSettingEx(captionControls());
    handOn(windowTitle());
    const bool summed = sumGrandTotal();
    const QString saveFailure = settings::saveFailureMessage(QStringLiteral("菜品名称和价格"));
    if (!summed) {
        // The sheet stays shown; a failed save is still the cashier's to know.
        if (!saved)
            design::reportError(this, saveFailure);
        return;
    }

    Form2 &main = form2();
    hide();
    main.showForm();
    if (!saved)
        design::reportError(&main, saveFailure);
}

QList<till::HeldDish> OrderSheet::heldDishes(int category)
{
    ensureLoaded();
    auto text = [this](const QString &name) { return m_labels.value(name)->text(); };
    QList<till::HeldDish> dishes;
    for (const DishRow &row : sheet::dishRows()) {
        till::HeldDish d;
        d.smallQuantity = captionValue(text(row.smallQuantity)).value_or(0);
        d.largeQuantity = captionValue(text(row.largeQuantity)).value_or(0);
        if (d.smallQuantity == 0 && d.largeQuantity == 0)
            continue;
        d.category = category;
        d.row = row.number;
        d.dish = text(row.dishName);
        d.smallHeading = text(row.smallHeading);
        d.largeHeading = text(row.largeHeading);
        d.smallPrice = text(row.smallPrice);
        d.largePrice = text(row.largePrice);
        dishes.append(d);
    }
    return dishes;
}

bool OrderSheet::bringBack(const QList<till::HeldDish> &dishes, const QString &categoryName)
{
    ensureLoaded();
    Command59_Click();
    if (dishes.isEmpty())
        return true;
    for (const till::HeldDish &d : dishes) {
        if (d.row < 1 || d.row > sheet::rowCount)
            continue;
        const DishRow &row = sheet::dishRows()[d.row - 1];
        m_labels.value(row.smallQuantity)->setText(captionText(d.smallQuantity));
        m_labels.value(row.largeQuantity)->setText(captionText(d.largeQuantity));
        if (!design::guarded(this, [&] { recomputeLineTotal(row); }))
            return false;
    }
    if (!Command1_Click())
        return false;
    handOn(categoryName);
    return true;
}

void OrderSheet::editCaption(QLabel *label)
{
    const std::optional<QString> text = design::askNewName(this, label->text(), label);
    if (!text)
        return;
    settings::setEditedCaption(label, *text);
    update();  // the captions beside it may have more room, or less, now
    // A new price counts at once: its row is recomputed as a press would.
    for (const DishRow &row : sheet::dishRows())
        if (label->objectName() == row.smallPrice || label->objectName() == row.largePrice)
            design::guarded(this, [&] { recomputeLineTotal(row); });
}

void OrderSheet::setCaption(QLabel *label, const QString &text)
{
    label->setText(text);
    update();
    for (const DishRow &row : sheet::dishRows())
        if (label->objectName() == row.smallPrice || label->objectName() == row.largePrice)
            design::guarded(this, [&] { recomputeLineTotal(row); });
}

bool OrderSheet::eventFilter(QObject *watched, QEvent *event)
{
    if (design::isRightPress(event)) {
        editCaption(static_cast<QLabel *>(watched));
        return true;
    }
    return ProportionalForm::eventFilter(watched, event);
}

void OrderSheet::closeEvent(QCloseEvent *event)
{
    // Only "关闭" leaves a sheet; the title bar's close is refused.
    event->ignore();
}
