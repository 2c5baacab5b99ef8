#pragma once
// "全店" in 营业记录: the day of every till of the shop, read from the
// shop's database on a thread of the view's own (the window never waits on
// the network): the whole shop's figures and each till's, how the shop was
// paid, and which tills have changes the shop has not received yet, so that
// nobody takes a partial day for the day. "打印全店日结" prints it on the
// roll, and asks first when the day is not all there.

#include "shop/shop_figures.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace takings {

class ShopDayView : public QWidget {
    Q_OBJECT

public:
    // `folder`: the till's data folder (its shop.ini); empty: the program's.
    explicit ShopDayView(QWidget *parent = nullptr, const QString &folder = {});

    // Starts reading `day`; the figures follow (dayShown).
    void showDay(const QDate &day);
    bool isReading() const { return m_answered != m_asked; }
    const std::optional<shop::ShopDay> &shown() const { return m_day; }

    void printDay();  // "打印全店日结"

signals:
    void dayShown(bool read);

private:
    void present(const std::optional<shop::ShopDay> &day, const QString &why);

    QString m_folder;
    std::optional<shop::ShopDay> m_day;
    int m_asked = 0;
    int m_answered = 0;
    QLabel *m_notice;
    QLabel *m_unsent;
    QTableWidget *m_tills;
    QTableWidget *m_methods;
    QPushButton *m_print;
};

}  // namespace takings
