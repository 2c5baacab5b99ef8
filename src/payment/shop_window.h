#pragma once
// "店铺信息…": the owner sets the receipt's header (shop name, address,
// phone) and footer, up to two payment methods of the shop's own, whether
// 结账 prints the receipt, and the kitchen's printer. Saved beside the
// journal (shop.ini).

#include "payment/shop_settings.h"

#include <QDialog>
#include <QList>

#include <utility>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace payment {

class ShopWindow : public QDialog {
    Q_OBJECT

public:
    explicit ShopWindow(const ShopSettings &shop, QWidget *parent = nullptr,
                        const QString &folder = {});

    ShopSettings settings() const;
    void save();  // "保存": written, or the owner is told why not

private:
    QString m_folder;
    QLineEdit *m_name, *m_address, *m_phone, *m_footer;
    QLineEdit *m_extra[extraMethodCount];
    QCheckBox *m_print;
    QComboBox *m_kitchenPrinter;  // "（不用）", then the printers; the data is the name
};

// The choices of "厨房打印机": "（不用）" (no printer) first, then each of
// `installed`; a `saved` printer no longer installed stays, marked
// "（未安装）", so that saving again keeps it. Text and printer name in pairs.
QList<std::pair<QString, QString>> kitchenPrinterChoices(const QStringList &installed, const QString &saved);

// Opens the window over `parent` with the settings as saved.
void openShopWindow(QWidget *parent);

}  // namespace payment
