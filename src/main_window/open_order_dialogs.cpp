#include "main_window/open_order_dialogs.h"

#include "common/accessible_names.h"
#include "common/design.h"
#include "journal/report.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace main_window {

namespace {

constexpr int tablesOffered = 30;

QFont dialogFont()
{
    return design::font(design::Face::SongTi, 14.25);  // large enough for a finger
}

QString heldAtText(const QDateTime &at)
{
    if (at.date() == QDate::currentDate())
        return at.toString(QStringLiteral("HH:mm"));
    return at.toString(QStringLiteral("MM-dd HH:mm"));
}

}  // namespace

std::optional<QString> askHoldName(QWidget *parent, const QString &suggested, const NameTaken &taken)
{
    QDialog box(parent);
    box.setObjectName(QStringLiteral("挂单"));
    box.setWindowTitle(QStringLiteral("挂单"));
    box.setFont(dialogFont());
    auto *layout = new QVBoxLayout(&box);
    auto *prompt = new QLabel(QStringLiteral("桌号或名称（如 3 或“外卖 王”）："), &box);
    prompt->setTextFormat(Qt::PlainText);
    layout->addWidget(prompt);

    auto *name = new QComboBox(&box);
    name->setObjectName(QStringLiteral("holdName"));
    name->setEditable(true);
    name->setInsertPolicy(QComboBox::NoInsert);
    for (int table = 1; table <= tablesOffered; ++table)
        name->addItem(till::tableName(QString::number(table)));
    name->setCurrentIndex(-1);
    name->setEditText(suggested);
    name->lineEdit()->setMaxLength(holdNameLength * 2);  // told, not cut, when too long
    name->setAccessibleName(QStringLiteral("挂单的桌号或名称"));
    name->setMinimumContentsLength(12);
    prompt->setBuddy(name);
    layout->addWidget(name);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("挂单"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    layout->addWidget(buttons);

    QString chosen;
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    auto confirm = [&] {
        const QString typed = till::tableName(name->currentText());
        QString refusal;
        if (typed.isEmpty())
            refusal = QStringLiteral("请输入桌号或名称，挂单要有名称才能取回。");
        else if (typed.size() > holdNameLength)
            refusal = QStringLiteral("名称太长：最多 %1 个字。").arg(holdNameLength);
        else if (typed.contains(QLatin1Char('\n')) || typed.contains(QLatin1Char('\r')))
            refusal = QStringLiteral("名称只能是一行。");
        else if (taken && taken(typed))
            refusal = QStringLiteral("“%1”已经有一张挂单。\n请换一个名称，或先用“取单”取回那一单。").arg(typed);
        if (!refusal.isEmpty()) {
            design::reportError(&box, refusal);
            name->setFocus();
            name->lineEdit()->selectAll();
            return;
        }
        chosen = typed;
        box.accept();
    };
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, confirm);
    // The editable box takes Enter for itself: Enter in the name confirms.
    for (QPushButton *b : buttons->findChildren<QPushButton *>())
        b->setAutoDefault(false);
    QObject::connect(name->lineEdit(), &QLineEdit::returnPressed, &box, confirm);
    name->setFocus();
    name->lineEdit()->selectAll();
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return chosen;
}

namespace {

QList<till::TableEntry> entriesOf(const QList<till::HeldOrder> &waiting)
{
    QList<till::TableEntry> entries;
    for (const till::HeldOrder &held : waiting)
        entries.append(till::TableEntry{held, QStringLiteral("本机"), 0, {}, false});
    return entries;
}

}  // namespace

QString whereText(const till::TableEntry &entry)
{
    if (entry.heldBy != 0)
        return QStringLiteral("正在 %1 上").arg(entry.heldByName);
    return entry.putBy;
}

HeldOrderChooser::HeldOrderChooser(QWidget *parent, const QList<till::HeldOrder> &waiting)
    : HeldOrderChooser(parent, entriesOf(waiting), false)
{
}

HeldOrderChooser::HeldOrderChooser(QWidget *parent, const QList<till::TableEntry> &waiting, bool inShop,
                                   const QString &note)
    : QDialog(parent)
{
    QDialog &box = *this;
    box.setObjectName(QStringLiteral("取单"));
    box.setWindowTitle(QStringLiteral("取单"));
    box.setFont(dialogFont());
    auto *layout = new QVBoxLayout(&box);
    if (!note.isEmpty()) {
        auto *told = new QLabel(note, &box);
        told->setObjectName(QStringLiteral("tablesNote"));
        told->setTextFormat(Qt::PlainText);
        told->setWordWrap(true);
        layout->addWidget(told);
    }
    auto *list = new QTreeWidget(&box);
    list->setObjectName(QStringLiteral("heldOrders"));
    list->setAccessibleName(QStringLiteral("挂单"));
    QStringList headers{QStringLiteral("名称"), QStringLiteral("挂单时间"), QStringLiteral("金额"),
                        QStringLiteral("菜数")};
    if (inShop)
        headers << QStringLiteral("收银机");
    list->setHeaderLabels(headers);
    const int columns = int(headers.size());
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setStyleSheet(QStringLiteral("QTreeWidget::item { padding: 6px; }"));  // finger height
    QList<QTreeWidgetItem *> items;
    for (const till::TableEntry &entry : waiting) {
        const till::HeldOrder &held = entry.held;
        QStringList cells{journal::singleLine(held.name), heldAtText(held.heldAt),
                          journal::fenText(held.total) + QStringLiteral("元"), QString::number(held.dishCount())};
        if (inShop)
            cells << journal::singleLine(whereText(entry));
        auto *item = new QTreeWidgetItem(cells);
        item->setData(0, Qt::UserRole, held.uid);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        items.append(item);
    }
    list->addTopLevelItems(items);
    for (int column = 0; column < columns; ++column)
        list->resizeColumnToContents(column);
    list->header()->setStretchLastSection(false);
    list->setCurrentItem(list->topLevelItem(0));
    layout->addWidget(list);
    // A list to a screen reader, not a tree: each order read with its
    // columns' names, "3号桌，挂单时间 10:20，金额 88.5元，菜数 2".
    a11y::listRowsBy(list, [] { return QStringLiteral("挂单"); }, [list](int row) {
        const QTreeWidgetItem *item = list->topLevelItem(row);
        if (!item)
            return QString();
        const QTreeWidgetItem *header = list->headerItem();
        QStringList words{item->text(0)};
        for (int column = 1; column < list->columnCount(); ++column)
            words << header->text(column) + u' ' + item->text(column);
        return words.join(QStringLiteral("，"));
    });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("取回"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
    layout->addWidget(buttons);

    auto choose = [this](QTreeWidgetItem *item) {
        if (!item)
            return;
        m_chosen = item->data(0, Qt::UserRole).toString();
        accept();
    };
    // A click or a tap chooses; so does Enter (or a double click) on the
    // selected entry.
    QObject::connect(list, &QTreeWidget::itemClicked, &box, choose);
    QObject::connect(list, &QTreeWidget::itemActivated, &box, choose);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, [choose, list] { choose(list->currentItem()); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    int width = 40;
    for (int column = 0; column < columns; ++column)
        width += list->columnWidth(column);
    box.resize(std::max(width, 420), std::min(560, 120 + 40 * int(waiting.size())));
    list->setFocus();
}

std::optional<QString> chooseHeldOrder(QWidget *parent, const QList<till::HeldOrder> &waiting)
{
    return chooseHeldOrder(parent, entriesOf(waiting), false, {});
}

std::optional<QString> chooseHeldOrder(QWidget *parent, const QList<till::TableEntry> &waiting, bool inShop,
                                       const QString &note)
{
    HeldOrderChooser chooser(parent, waiting, inShop, note);
    if (chooser.exec() != QDialog::Accepted)
        return std::nullopt;
    return chooser.chosen();
}

}  // namespace main_window
