#include "shop/shop_link_window.h"

#include "common/design.h"
#include "journal/journal_service.h"
#include "settings/menu_transfer.h"
#include "shop/shop_config.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QUuid>
#include <QVBoxLayout>

namespace shop {

namespace {

std::function<void(const journal::TillIdentity &)> &joinedHook()
{
    static std::function<void(const journal::TillIdentity &)> hook;
    return hook;
}

QLineEdit *field(QWidget *parent, const char *name, const QString &spokenAs, const QString &text = {})
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAccessibleName(spokenAs);
    edit->setMinimumWidth(280);
    return edit;
}

// Runs `work` on a thread of its own, then `done` with its answer on
// `window`'s thread, unless the window is gone by then.
template <class Work, class Done> void offThread(QObject *window, Work work, Done done)
{
    QPointer<QObject> guard(window);
    QThread *thread = QThread::create([guard, work = std::move(work), done = std::move(done)] {
        JoinReply reply = work();
        // Back on the GUI thread, where the window may have gone meanwhile.
        QMetaObject::invokeMethod(
            qApp, [guard, done, reply] {
                if (guard)
                    done(reply);
            },
            Qt::QueuedConnection);
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

const char *const sslModes[] = {"prefer", "require", "verify-full"};

}  // namespace

void setJoinedHook(std::function<void(const journal::TillIdentity &)> hook)
{
    joinedHook() = std::move(hook);
}

ShopLinkWindow::ShopLinkWindow(QWidget *parent, const QString &folder) : QDialog(parent), m_folder(folder)
{
    setObjectName(QStringLiteral("ShopLinkWindow"));
    setWindowTitle(QStringLiteral("店铺数据库"));
    setAccessibleName(QStringLiteral("店铺数据库"));
    setFont(design::readingFont());

    const pg::Address saved = loadAddress(folder).value_or(pg::Address{});
    m_host = field(this, "ShopHost", QStringLiteral("服务器地址"), saved.host);
    m_host->setPlaceholderText(QStringLiteral("例如：192.168.1.10"));
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("ShopPort"));
    m_port->setAccessibleName(QStringLiteral("端口"));
    m_port->setRange(1, 65535);
    m_port->setValue(saved.port);
    m_database = field(this, "ShopDatabase", QStringLiteral("数据库"), saved.database);
    m_database->setPlaceholderText(QStringLiteral("例如：shop"));
    m_user = field(this, "ShopUser", QStringLiteral("用户"), saved.user);
    m_password = field(this, "ShopPassword", QStringLiteral("密码"));
    m_password->setEchoMode(QLineEdit::Password);
    if (!saved.host.isEmpty())
        m_password->setPlaceholderText(QStringLiteral("已保存；不改就留空"));
    m_sslMode = new QComboBox(this);
    m_sslMode->setObjectName(QStringLiteral("ShopSslMode"));
    m_sslMode->setAccessibleName(QStringLiteral("加密"));
    m_sslMode->addItem(QStringLiteral("服务器支持就加密"), QStringLiteral("prefer"));
    m_sslMode->addItem(QStringLiteral("要求加密"), QStringLiteral("require"));
    m_sslMode->addItem(QStringLiteral("要求加密并验证服务器证书"), QStringLiteral("verify-full"));
    m_sslMode->setCurrentIndex(qMax(0, m_sslMode->findData(saved.sslMode)));
    m_caFile = field(this, "ShopCaFile", QStringLiteral("证书颁发机构文件"), saved.caFile);
    auto *pickCa = new QPushButton(QStringLiteral("选择…"), this);
    pickCa->setObjectName(QStringLiteral("ShopPickCa"));
    pickCa->setAccessibleName(QStringLiteral("选择证书颁发机构文件"));
    connect(pickCa, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("证书颁发机构文件"), m_caFile->text(),
                                                          QStringLiteral("证书 (*.crt *.pem);;所有文件 (*)"));
        if (!file.isEmpty())
            m_caFile->setText(file);
    });
    auto caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile, 1);
    caRow->addWidget(pickCa);
    auto showCa = [this, pickCa] {
        const bool verifying = m_sslMode->currentData().toString() == QLatin1String("verify-full");
        m_caFile->setEnabled(verifying);
        pickCa->setEnabled(verifying);
    };
    connect(m_sslMode, &QComboBox::currentIndexChanged, this, showCa);
    showCa();

    m_number = new QSpinBox(this);
    m_number->setObjectName(QStringLiteral("TillNumber"));
    m_number->setAccessibleName(QStringLiteral("本机编号"));
    m_number->setRange(1, 99);
    m_name = field(this, "TillName", QStringLiteral("本机名称"));
    m_name->setPlaceholderText(QStringLiteral("例如：前台、二楼"));
    m_replacing = new QCheckBox(QStringLiteral("这台电脑替换同一编号的旧收银机（旧电脑坏了、重装了）"), this);
    m_replacing->setObjectName(QStringLiteral("ReplaceTill"));

    m_answer = new QLabel(this);
    m_answer->setObjectName(QStringLiteral("ShopAnswer"));
    m_answer->setWordWrap(true);
    m_answer->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("服务器地址"), m_host);
    form->addRow(QStringLiteral("端口"), m_port);
    form->addRow(QStringLiteral("数据库"), m_database);
    form->addRow(QStringLiteral("用户"), m_user);
    form->addRow(QStringLiteral("密码"), m_password);
    form->addRow(QStringLiteral("加密"), m_sslMode);
    form->addRow(QStringLiteral("证书颁发机构"), caRow);
    form->addRow(QStringLiteral("本机编号"), m_number);
    form->addRow(QStringLiteral("本机名称"), m_name);
    form->addRow(QString(), m_replacing);

    auto *buttons = new QDialogButtonBox(this);
    m_try = buttons->addButton(QStringLiteral("测试连接"), QDialogButtonBox::ActionRole);
    m_try->setObjectName(QStringLiteral("TryButton"));
    m_save = buttons->addButton(QStringLiteral("保存"), QDialogButtonBox::AcceptRole);
    m_save->setObjectName(QStringLiteral("SaveButton"));
    m_close = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    m_close->setObjectName(QStringLiteral("CancelButton"));
    connect(m_try, &QPushButton::clicked, this, &ShopLinkWindow::tryIt);
    connect(buttons, &QDialogButtonBox::accepted, this, &ShopLinkWindow::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *hint = new QLabel(QStringLiteral("几台收银机共用店里一台电脑上的 PostgreSQL 数据库：每台照常在本机记账，"
                                           "连得上时把记录传上去，连不上时照常收银，连上后自动补传。"),
                            this);
    hint->setWordWrap(true);
    auto *all = new QVBoxLayout(this);
    all->addWidget(hint);
    all->addLayout(form);
    all->addWidget(m_answer);
    all->addWidget(buttons);
}

void ShopLinkWindow::setTill(const journal::TillIdentity &till)
{
    if (till.number > 0)
        m_number->setValue(till.number);
    if (!till.name.isEmpty() && m_name->text().isEmpty())
        m_name->setText(till.name);
}

std::optional<pg::Address> ShopLinkWindow::address(QString *why) const
{
    pg::Address address;
    address.host = m_host->text().trimmed();
    address.port = m_port->value();
    address.database = m_database->text().trimmed();
    address.user = m_user->text().trimmed();
    address.sslMode = m_sslMode->currentData().toString();
    address.caFile = address.sslMode == QLatin1String("verify-full") ? m_caFile->text().trimmed() : QString();
    const QString missing = address.host.isEmpty()       ? QStringLiteral("服务器地址")
                            : address.database.isEmpty() ? QStringLiteral("数据库")
                            : address.user.isEmpty()     ? QStringLiteral("用户")
                                                         : QString();
    if (!missing.isEmpty()) {
        *why = QStringLiteral("请填写%1。").arg(missing);
        return std::nullopt;
    }
    if (address.sslMode == QLatin1String("verify-full") && address.caFile.isEmpty()) {
        *why = QStringLiteral("要验证服务器证书，请选择证书颁发机构文件。");
        return std::nullopt;
    }
    return address;
}

void ShopLinkWindow::busy(bool working, const QString &text)
{
    m_working = working;
    m_try->setEnabled(!working);
    m_save->setEnabled(!working);
    if (!text.isEmpty())
        m_answer->setText(text);
}

void ShopLinkWindow::tell(bool ok, const QString &text)
{
    busy(false, text);
    m_answer->setAccessibleName(text);
    emit answered(ok, text);
}

void ShopLinkWindow::tryIt()
{
    if (m_working)
        return;
    QString why;
    const std::optional<pg::Address> where = address(&why);
    if (!where) {
        tell(false, why);
        return;
    }
    busy(true, QStringLiteral("正在连接 %1 …").arg(whereTo(*where)));
    offThread(
        this, [where = *where, password = m_password->text()] { return tryServer(where, password); },
        [this](const JoinReply &reply) { tell(reply.ok, reply.text); });
}

void ShopLinkWindow::save()
{
    if (m_working)
        return;
    QString why;
    const std::optional<pg::Address> where = address(&why);
    const QString name = m_name->text().trimmed();
    if (where && name.isEmpty())
        why = QStringLiteral("请填写本机名称（例如：前台）。");
    if (!why.isEmpty()) {
        tell(false, why);
        return;
    }
    busy(true, QStringLiteral("正在加入店铺 %1 …").arg(whereTo(*where)));
    // Who this till is comes from its journal, asked again here: a till that
    // joined before keeps its identity, whenever the window heard of it. A
    // new identity would make the shop take it for another till.
    journal::programJournalService().run<journal::TillIdentity>(
        this, [](journal::Journal &j) { return j.tillIdentity(); },
        [this, name, where = *where, password = m_password->text(),
         replacing = m_replacing->isChecked()](journal::TillIdentity till) {
            const bool joinedBefore = till.isSet();
            if (till.uid.isEmpty())
                till.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
            till.number = m_number->value();
            till.name = name;
            offThread(
                this,
                [where, password, till, replacing] {
                    return joinServer(where, password, {till.uid, till.number, till.name}, replacing);
                },
                [this, till, where, password, joinedBefore](const JoinReply &reply) {
                    if (!reply.ok) {
                        tell(false, reply.text);
                        return;
                    }
                    finishJoin(till, where, password, reply, joinedBefore);
                });
        });
}

namespace {

bool askYes(QWidget *parent, const QString &title, const QString &text, const QString &yes, const QString &no)
{
    QMessageBox ask(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    ask.setObjectName(title);
    ask.setFont(design::readingFont());
    QPushButton *accept = ask.addButton(yes, QMessageBox::AcceptRole);
    ask.addButton(no, QMessageBox::RejectRole);
    ask.setDefaultButton(accept);
    ask.exec();
    return ask.clickedButton() == accept;
}

}  // namespace

void ShopLinkWindow::settleMenu(const JoinReply &reply)
{
    if (reply.menuSize == 0) {
        // A new shop: this till's menu may become everyone's.
        QMap<QString, QString> captions;
        QString problem;
        if (!menu_transfer::filledCaptions(&captions, &problem)) {
            design::reportError(this, QStringLiteral("本机的菜单读不出来（%1），没有交给店铺。").arg(problem));
            return;
        }
        if (captions.isEmpty())
            return;  // nothing to offer: the first till with a menu will be asked
        if (!askYes(this, QStringLiteral("全店菜单"), QStringLiteral("店铺还没有菜单。\n把本机的菜单作为全店的菜单吗？"),
                    QStringLiteral("用本机的菜单"), QStringLiteral("先不用")))
            return;
        journal::programJournalService().run<QString>(
            this, [captions](journal::Journal &j) { return j.shareMenu(captions, 0) ? QString() : j.error(); },
            [this](const QString &failed) {
                if (!failed.isEmpty())
                    design::reportError(this, QStringLiteral("本机的菜单没能交给店铺：%1").arg(failed));
            });
        return;
    }
    const QString file = menu_transfer::menuBackupFile(m_folder.isEmpty() ? journal::defaultFolder() : m_folder);
    if (!askYes(this, QStringLiteral("全店菜单"),
                QStringLiteral("店铺已经有菜单。\n用店铺的菜单替换本机的菜单吗？本机现在的菜单会先导出到：\n%1")
                    .arg(QDir::toNativeSeparators(file)),
                QStringLiteral("用店铺的菜单"), QStringLiteral("保留本机的菜单"))) {
        setMenuVersion(reply.menuVersion, m_folder);  // later edits still come; this till's own stay
        return;
    }
    const menu_transfer::Outcome saved = menu_transfer::exportMenu(file);
    if (!saved.ok) {
        setMenuVersion(reply.menuVersion, m_folder);
        design::reportError(this, saved.problem.chinese + QStringLiteral("\n本机先保留自己的菜单。"));
        return;
    }
    setMenuVersion(0, m_folder);  // the link takes the whole of the shop's menu as it starts
}

void ShopLinkWindow::finishJoin(const journal::TillIdentity &till, const pg::Address &address,
                                const QString &password, const JoinReply &reply, bool joinedBefore)
{
    const QString joinedText = reply.text;
    // The shop holds the till now; the journal keeps who it is (and puts its
    // past sales in the outbox), then the address and the password are kept.
    journal::programJournalService().run<QString>(
        this, [till](journal::Journal &j) { return j.joinShop(till) ? QString() : j.error(); },
        [this, till, address, password, joinedText, reply, joinedBefore](QString failed) {
            if (failed.isEmpty())
                failed = saveAddress(address, m_folder);
            if (failed.isEmpty() && !password.isEmpty())
                failed = keepPassword(address, password);
            if (!failed.isEmpty()) {
                tell(false, failed);
                return;
            }
            m_password->clear();
            tell(true, joinedText);
            if (!joinedBefore)
                settleMenu(reply);
            if (joinedHook())
                joinedHook()(till);
            // The window stays with what was done on it, for the owner to read.
            m_close->setText(QStringLiteral("关闭"));
            emit joined(till);
        });
}

void openShopLinkWindow(QWidget *parent)
{
    auto *window = new ShopLinkWindow(parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    journal::programJournalService().run<journal::TillIdentity>(
        window, [](journal::Journal &j) { return j.tillIdentity(); },
        [window](journal::TillIdentity till) { window->setTill(till); });
    window->open();
}

}  // namespace shop
