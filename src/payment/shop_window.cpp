#include "payment/shop_window.h"

#include "common/design.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QVBoxLayout>

namespace payment {

namespace {

QLineEdit *field(QWidget *parent, const QString &name, const QString &spokenAs, const QString &text)
{
    auto *e = new QLineEdit(text, parent);
    e->setObjectName(name);
    e->setAccessibleName(spokenAs);
    e->setMinimumWidth(280);
    return e;
}

}  // namespace

QList<std::pair<QString, QString>> kitchenPrinterChoices(const QStringList &installed, const QString &saved)
{
    QList<std::pair<QString, QString>> choices{{QStringLiteral("（不用）"), QString()}};
    for (const QString &printer : installed)
        choices.append({printer, printer});
    if (!saved.isEmpty() && !installed.contains(saved))
        choices.append({QStringLiteral("%1（未安装）").arg(saved), saved});
    return choices;
}

ShopWindow::ShopWindow(const ShopSettings &shop, QWidget *parent, const QString &folder)
    : QDialog(parent), m_folder(folder)
{
    setObjectName(QStringLiteral("ShopWindow"));
    setWindowTitle(QStringLiteral("店铺信息"));
    setAccessibleName(QStringLiteral("店铺信息"));
    setFont(design::font(design::Face::SongTi, 12));

    m_name = field(this, QStringLiteral("ShopName"), QStringLiteral("店名"), shop.name);
    m_address = field(this, QStringLiteral("ShopAddress"), QStringLiteral("地址"), shop.address);
    m_phone = field(this, QStringLiteral("ShopPhone"), QStringLiteral("电话"), shop.phone);
    m_footer = field(this, QStringLiteral("ShopFooter"), QStringLiteral("结账单末尾"), shop.footer);
    m_footer->setPlaceholderText(QStringLiteral("例如：谢谢惠顾"));
    for (int i = 0; i < extraMethodCount; ++i) {
        m_extra[i] = field(this, QStringLiteral("ExtraMethod%1").arg(i + 1),
                           QStringLiteral("其他付款方式%1").arg(i + 1), shop.extraMethods.value(i));
        m_extra[i]->setPlaceholderText(i == 0 ? QStringLiteral("例如：美团") : QStringLiteral("例如：会员卡"));
    }
    m_print = new QCheckBox(QStringLiteral("打印结账单"), this);
    m_print->setObjectName(QStringLiteral("PrintReceiptChoice"));
    m_print->setChecked(shop.printReceipt);
    m_kitchenPrinter = new QComboBox(this);
    m_kitchenPrinter->setObjectName(QStringLiteral("KitchenPrinter"));
    m_kitchenPrinter->setAccessibleName(QStringLiteral("厨房打印机"));
    m_kitchenPrinter->setToolTip(QStringLiteral("“下单”时后厨单打印在这台打印机上。"));
    for (const auto &[text, printer] : kitchenPrinterChoices(QPrinterInfo::availablePrinterNames(), shop.kitchenPrinter))
        m_kitchenPrinter->addItem(text, printer);
    m_kitchenPrinter->setCurrentIndex(std::max(0, m_kitchenPrinter->findData(shop.kitchenPrinter)));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("店名"), m_name);
    form->addRow(QStringLiteral("地址"), m_address);
    form->addRow(QStringLiteral("电话"), m_phone);
    form->addRow(QStringLiteral("结账单末尾"), m_footer);
    for (int i = 0; i < extraMethodCount; ++i)
        form->addRow(QStringLiteral("其他付款方式%1").arg(i + 1), m_extra[i]);
    form->addRow(QString(), m_print);
    form->addRow(QStringLiteral("厨房打印机"), m_kitchenPrinter);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Save)->setText(QStringLiteral("保存"));
    buttons->button(QDialogButtonBox::Save)->setObjectName(QStringLiteral("SaveButton"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ShopWindow::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *hint = new QLabel(QStringLiteral("店名、地址和电话印在结账单顶部，留空的不印。"), this);
    auto *all = new QVBoxLayout(this);
    all->addWidget(hint);
    all->addLayout(form);
    all->addWidget(buttons);
}

ShopSettings ShopWindow::settings() const
{
    ShopSettings shop;
    shop.name = m_name->text().trimmed();
    shop.address = m_address->text().trimmed();
    shop.phone = m_phone->text().trimmed();
    shop.footer = m_footer->text().trimmed();
    for (QLineEdit *extra : m_extra)
        if (!extra->text().trimmed().isEmpty())
            shop.extraMethods << extra->text().trimmed();
    shop.printReceipt = m_print->isChecked();
    shop.kitchenPrinter = m_kitchenPrinter->currentData().toString();
    return shop;
}

void ShopWindow::save()
{
    const ShopSettings shop = settings();
    for (int i = 0; i < shop.extraMethods.size(); ++i)
        if (standardMethods().contains(shop.extraMethods[i]) || shop.extraMethods.indexOf(shop.extraMethods[i]) != i) {
            design::reportError(this, QStringLiteral("付款方式“%1”已经有了，请换一个名称。").arg(shop.extraMethods[i]));
            return;
        }
    const QString failure = saveShop(shop, m_folder);
    if (!failure.isEmpty()) {
        design::reportError(this, failure);  // the window stays, nothing typed is lost
        return;
    }
    accept();
}

void openShopWindow(QWidget *parent)
{
    ShopWindow window(loadShop(), parent);
    window.exec();
}

}  // namespace payment
