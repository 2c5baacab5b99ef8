#pragma once
// "店铺信息…": the owner sets the receipt's header (shop name, address,
// phone) and footer, up to two payment methods of the shop's own, and
// whether 结账 prints the receipt. Saved beside the journal (shop.ini).

#include "payment/shop_settings.h"

#include <QDialog>

class QCheckBox;
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
};

// Opens the window over `parent` with the settings as saved.
void openShopWindow(QWidget *parent);

}  // namespace payment
