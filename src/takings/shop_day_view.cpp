#include "takings/shop_day_view.h"

#include "common/design.h"
#include "journal/report.h"
#include "main_window/bill_print.h"
#include "payment/shop_settings.h"
#include "shop/shop_config.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

namespace takings {

namespace {

QTableWidget *table(QWidget *parent, const QString &name, const QString &spokenAs, const QStringList &headings)
{
    auto *t = new QTableWidget(0, int(headings.size()), parent);
    t->setObjectName(name);
    t->setAccessibleName(spokenAs);
    t->setHorizontalHeaderLabels(headings);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setTabKeyNavigation(false);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget *t, int row, const QStringList &cells)
{
    for (int column = 0; column < cells.size(); ++column) {
        auto *item = new QTableWidgetItem(cells[column]);
        if (column > 0)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        t->setItem(row, column, item);
    }
}

struct Answer {
    std::optional<shop::ShopDay> day;
    QString why;
};

}  // namespace

ShopDayView::ShopDayView(QWidget *parent, const QString &folder) : QWidget(parent), m_folder(folder)
{
    setObjectName(QStringLiteral("shopDayView"));
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("shopNotice"));
    m_notice->setWordWrap(true);
    m_unsent = new QLabel(this);
    m_unsent->setObjectName(QStringLiteral("shopUnsent"));
    m_unsent->setWordWrap(true);
    m_unsent->setStyleSheet(QStringLiteral("color: #b00000"));
    m_unsent->hide();
    m_tills = table(this, QStringLiteral("shopTills"), QStringLiteral("各收银机"),
                    {QStringLiteral("收银机"), QStringLiteral("已结账"), QStringLiteral("实收（元）"),
                     QStringLiteral("未结账"), QStringLiteral("作废"), QStringLiteral("挂单中"),
                     QStringLiteral("待上传"),
                     QStringLiteral("最后联系")});
    m_methods = table(this, QStringLiteral("shopMethods"), QStringLiteral("全店收款"),
                      {QStringLiteral("收款"), QStringLiteral("金额（元）")});
    m_print = new QPushButton(QStringLiteral("打印全店日结"), this);
    m_print->setObjectName(QStringLiteral("printShopDayButton"));
    m_print->setAutoDefault(false);
    m_print->setEnabled(false);
    connect(m_print, &QPushButton::clicked, this, &ShopDayView::printDay);

    auto *all = new QVBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->addWidget(m_notice);
    all->addWidget(m_unsent);
    all->addWidget(new QLabel(QStringLiteral("全店合计与各收银机"), this));
    all->addWidget(m_tills, 2);
    all->addWidget(new QLabel(QStringLiteral("全店收款"), this));
    all->addWidget(m_methods, 1);
    all->addWidget(m_print, 0, Qt::AlignLeft);
}

void ShopDayView::showDay(const QDate &day)
{
    const std::optional<shop::pg::Address> address = shop::loadAddress(m_folder);
    if (!address) {
        ++m_asked;
        m_answered = m_asked;
        present(std::nullopt, QStringLiteral("本机没有加入店铺：在店主菜单的“店铺数据库…”里加入后，这里显示全店各收银机的数字。"));
        return;
    }
    const int asked = ++m_asked;
    m_notice->setText(QStringLiteral("正在读取店铺数据库…"));
    m_print->setEnabled(false);
    QPointer<ShopDayView> self(this);
    QThread *thread = QThread::create([self, asked, day, address = *address] {
        shop::pg::Connection db;
        Answer answer;
        if (db.connect(address)) {
            answer.day = shop::readShopDay(db, day);
            if (!answer.day)
                answer.why = db.failure() == shop::pg::Failure::None ? QStringLiteral("店铺数据库的应答看不懂")
                                                                     : db.describeFailure();
        } else {
            answer.why = db.describeFailure();
        }
        // Back on the GUI thread, where the view may have gone meanwhile.
        QMetaObject::invokeMethod(
                qApp, [self, asked, answer] {
                    if (!self || asked != self->m_asked)
                        return;  // a later day was asked for meanwhile
                    self->m_answered = asked;
                    self->present(answer.day, answer.why);
                },
                Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void ShopDayView::present(const std::optional<shop::ShopDay> &day, const QString &why)
{
    m_day = day;
    m_tills->setRowCount(0);
    m_methods->setRowCount(0);
    m_unsent->hide();
    m_print->setEnabled(bool(day));
    if (!day) {
        m_notice->setText(QStringLiteral("读不到全店的数字：%1\n本机的营业记录不受影响，选“本机”查看。").arg(why));
        emit dayShown(false);
        return;
    }
    m_notice->setText(QStringLiteral("全店 %1：%2 台收银机，已结账 %3 单，实收 %4 元")
                          .arg(day->day.toString(QStringLiteral("yyyy-MM-dd")))
                          .arg(day->tills.size())
                          .arg(day->shop.paidCount)
                          .arg(journal::fenText(day->shop.takings)));
    const QStringList unsent = shop::unsentTills(*day);
    if (!unsent.isEmpty()) {
        m_unsent->setText(QStringLiteral("还没有上传完，全店的数字不是全天的：") + unsent.join(QStringLiteral("；")));
        m_unsent->show();
    }
    auto cells = [](const QString &who, const shop::TillDay &till, const QString &lastSeen) {
        return QStringList{who,
                           QString::number(till.paidCount),
                           journal::fenText(till.takings),
                           QStringLiteral("%1 单 %2").arg(till.unpaidCount).arg(journal::fenText(till.unpaidTotal)),
                           QStringLiteral("%1 单 %2").arg(till.voidedCount).arg(journal::fenText(till.voidedTotal)),
                           QStringLiteral("%1 单 %2").arg(till.putAsideCount).arg(journal::fenText(till.putAsideTotal)),
                           QString::number(till.notYetSent),
                           lastSeen};
    };
    m_tills->setRowCount(int(day->tills.size()) + 1);
    setRow(m_tills, 0, cells(QStringLiteral("全店合计"), day->shop, QString()));
    for (int i = 0; i < day->tills.size(); ++i) {
        const shop::TillDay &till = day->tills[i];
        setRow(m_tills, i + 1,
               cells(QStringLiteral("%1 号 %2").arg(till.number).arg(till.name), till,
                     till.lastSeen.isValid() ? till.lastSeen.toString(QStringLiteral("MM-dd HH:mm")) : QString()));
    }
    m_methods->setRowCount(int(day->shop.byMethod.size()));
    for (int i = 0; i < day->shop.byMethod.size(); ++i)
        setRow(m_methods, i, {day->shop.byMethod[i].method, journal::fenText(day->shop.byMethod[i].amount)});
    emit dayShown(true);
}

void ShopDayView::printDay()
{
    if (!m_day)
        return;
    const QStringList unsent = shop::unsentTills(*m_day);
    if (!unsent.isEmpty()) {
        QMessageBox ask(QMessageBox::Question, QStringLiteral("全店日结"),
                        QStringLiteral("还有收银机没有把记录上传完，这份日结不是全天的：\n%1\n\n仍然打印吗？")
                            .arg(unsent.join(u'\n')),
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setObjectName(QStringLiteral("确认"));
        ask.setFont(design::readingFont());
        ask.button(QMessageBox::Yes)->setText(QStringLiteral("仍然打印"));
        ask.button(QMessageBox::No)->setText(QStringLiteral("不打印"));
        ask.setDefaultButton(QMessageBox::No);
        if (ask.exec() != QMessageBox::Yes)
            return;
    }
    auto tell = [this](const QString &why) { design::reportError(this, QStringLiteral("打印失败：%1").arg(why)); };
    const QString failure =
        bill::printOnDefaultPrinter(shop::shopDayPage(*m_day, payment::loadShop(m_folder).headerLines()), this, tell);
    if (!failure.isEmpty())
        tell(failure);
}

}  // namespace takings
