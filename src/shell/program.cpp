#include "shell/program.h"

#include "common/accessible_names.h"
#include "common/categories.h"
#include "common/design.h"
#include "journal/journal_service.h"
#include "journal/outbox.h"
#include "journal/platform_facts.h"
#include "main_window/form2.h"
#include "main_window/menu_transfer_actions.h"
#include "main_window/shop_menu.h"
#include "payment/shop_settings.h"
#include "settings/caption_store.h"
#include "shop/shop_config.h"
#include "shop/shop_link_window.h"
#include "sheets/order_sheet.h"
#include "shell/form1.h"
#include "shell/end_request.h"
#include "shell/single_instance.h"
#include "till/journal_link.h"
#include "till/open_orders.h"
#include "till/order_in_progress.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QTranslator>

#include <functional>
#include <utility>

namespace {
Program *currentProgram = nullptr;

// The icon inside the program, the same on every desktop. Read as PNG by
// name: Qt reads PNG itself, so no image-format plugin is loaded to guess
// the format, and no icon theme is searched at start. The sizes are those
// of title bars and task bars up to twice the normal scale; a larger one
// would only cost start-up time (the window system gets every size).
QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        QFile file(QStringLiteral(":/icons/tavelko-%1.png").arg(size));
        QImageReader reader(&file, "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

// Runs `work` once, as soon as `window` has painted for the first time, so
// that it does not hold up the first frame; not at all if the window is gone
// by then (a test's program ended).
void afterFirstPaint(QWidget *window, std::function<void()> work)
{
    struct Watch : QObject {
        std::function<void()> work;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && work) {
                QTimer::singleShot(0, parent(), std::exchange(work, nullptr));
                deleteLater();
            }
            return false;
        }
    };
    auto *watch = new Watch;
    watch->work = std::move(work);
    watch->setParent(window);
    window->installEventFilter(watch);
}

// The window a message for the owner belongs on: the dialog or window in
// front, else any the program shows.
QWidget *visibleWindow()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowType() != Qt::Popup &&
            window->windowType() != Qt::ToolTip)
            return window;
    return nullptr;
}
}  // namespace

struct Program::Windows {
    till::OrderInProgress order;  // what the sheets and the main window hand on
    till::OpenOrders openOrders;  // the orders put aside (挂单)
    ShopMenu shopMenu;            // in a shop, the menu is the shop's
    std::unique_ptr<Form1> form1;
    std::unique_ptr<Form2> form2;
    std::array<std::unique_ptr<OrderSheet>, 6> sheets;
};

Program::Program() : m_windows(std::make_unique<Windows>())
{
    Q_ASSERT(!currentProgram);
    currentProgram = this;
    // Each order that ends goes to the journal, numbered on the day's 单号.
    m_windows->order.setNumbering([](const QDate &day) { return payment::nextReceiptNumber(day); });
    // An order brought back from those put aside leaves them as it ends:
    // the journal removes it in the same write that records the order.
    till::OpenOrders &open = m_windows->openOrders;
    QObject::connect(&m_windows->order, &till::OrderInProgress::ended, [&open](const journal::Order &order) {
        till::recordOrder(order);
        open.ended(order.closesOpenUid, true);
    });
    // An order that left the windows with nothing to record is no longer
    // kept as the order on them.
    QObject::connect(&m_windows->order, &till::OrderInProgress::discarded, &till::dropCurrentOrder);
    QObject::connect(&m_windows->order, &till::OrderInProgress::abandoned,
                     [&open](const QString &uid) { open.ended(uid, false); });
    // What the other tills of a shop changed is told without stopping the
    // cashier: a note over the window in front, closed when read.
    const auto notify = [this](const QString &text) {
        if (m_ended)
            return;
        qInfo().noquote() << QStringLiteral("店铺：") + text;  // the log keeps what the note said
        QWidget *over = visibleWindow();
        auto *note = new QMessageBox(QMessageBox::Information, QStringLiteral("店铺"), text, QMessageBox::Ok, over);
        note->setObjectName(QStringLiteral("店铺通知"));
        note->setFont(design::readingFont());
        note->setAttribute(Qt::WA_DeleteOnClose);
        note->setWindowModality(Qt::NonModal);
        note->setAttribute(Qt::WA_ShowWithoutActivating);  // the cashier's keys stay where they were
        note->show();
        a11y::sayNow(over, text);
    };
    QObject::connect(&open, &till::OpenOrders::told, notify);
    QObject::connect(&m_windows->shopMenu, &ShopMenu::told, notify);
    QObject::connect(&open, &till::OpenOrders::kept, [](const journal::OpenOrder &held) {
        journal::programJournalService().keepOpen(held);
    });
    QObject::connect(&open, &till::OpenOrders::dropped,
                     [](const QString &uid) { journal::programJournalService().dropOpen(uid); });
}

Program::~Program()
{
    shop::setJoinedHook({});
    stopShopLink();
    // Sheets first: they refer to the main window, never the other way round.
    for (auto &sheet : m_windows->sheets)
        sheet.reset();
    m_windows->form2.reset();
    m_windows->form1.reset();
    currentProgram = nullptr;
}

Program &Program::current()
{
    Q_ASSERT(currentProgram);
    return *currentProgram;
}

Form1 &Program::form1()
{
    if (!m_windows->form1)
        m_windows->form1 = std::make_unique<Form1>();
    return *m_windows->form1;
}

Form2 &Program::form2()
{
    if (!m_windows->form2)
    {
        m_windows->form2 = std::make_unique<Form2>();
        m_windows->form2->setOrder(&m_windows->order);
        m_windows->form2->setOpenOrders(&m_windows->openOrders);
        m_windows->form2->showShopLink(shop::describeLink(m_link));
    }
    return *m_windows->form2;
}

OrderSheet &Program::sheet(int category)
{
    Q_ASSERT(category >= 1 && category <= 6);
    auto &slot = m_windows->sheets[category - 1];
    if (!slot) {
        const Category &c = categories[category - 1];
        slot = std::make_unique<OrderSheet>(QString::fromLatin1(c.sheet),
                                            QString::fromLatin1(c.summary),
                                            QString::fromLatin1(c.total));
        QObject::connect(slot.get(), &OrderSheet::handedOff, &m_windows->order,
                         &till::OrderInProgress::handOff);
    }
    return *slot;
}

bool Program::sheetExists(int category) const
{
    return bool(m_windows->sheets[category - 1]);
}

till::OpenOrders &Program::openOrders()
{
    return m_windows->openOrders;
}

bool Program::form2Exists() const
{
    return bool(m_windows->form2);
}

void Program::start()
{
    form1().ensureLoaded();  // its Form_Load shows it
    // What the journal has to tell the owner (a damaged journal set aside,
    // one that cannot be written, orders waiting too long, rescued orders
    // merged) is shown on the window in front.
    journal::JournalService &service = journal::programJournalService();
    QObject::connect(&service, &journal::JournalService::notice, &form1(),
                     [this](const QString &message) {
                         if (!m_ended)
                             design::reportError(visibleWindow(), message);
                     });
    // The journal is opened and checked on its own thread once the welcome
    // window has painted, for its file not to compete with the first frame
    // (an order coming sooner is written once it is open); the day's 单号
    // then go on from the last one it holds.
    afterFirstPaint(&form1(), [this] {
        journal::programJournalService().start();
        // A till of a shop numbers its 单号 with its till number and sends
        // what it records to the shop, on the uploader's own thread.
        till::askJournal<journal::TillIdentity>(
            &form1(), [](journal::Journal &j) { return j.tillIdentity(); },
            [this](journal::TillIdentity till) { startShopLink(till); });
        // Joined from "店铺数据库…": the link starts anew with the new address.
        shop::setJoinedHook([this](const journal::TillIdentity &till) {
            stopShopLink();
            startShopLink(till);
        });
        till::askJournal<std::optional<QString>>(
            &form1(), [](journal::Journal &j) { return j.lastReceiptNumber(QDate::currentDate()); },
            [](std::optional<QString> last) { payment::continueReceiptNumbersAfter(last.value_or(QString())); });
        // The orders put aside before the program last ended wait for 取单.
        till::askJournal<std::optional<QList<journal::OpenOrder>>>(
            &form1(), [](journal::Journal &j) { return j.openOrders(); },
            [this](std::optional<QList<journal::OpenOrder>> stored) {
                m_windows->openOrders.load(stored.value_or(QList<journal::OpenOrder>()));
            });
        // The order on the windows when the program last stopped without
        // ending it (a crash, a power cut) comes back onto them.
        till::askJournal<std::optional<QList<journal::CurrentOrder>>>(
            &form1(), [](journal::Journal &j) { return j.currentOrders(); },
            [this](std::optional<QList<journal::CurrentOrder>> stored) {
                if (m_ended || !stored || stored->isEmpty())
                    return;
                const QString told = form2().restoreOnWindows(*stored);
                if (!told.isEmpty())
                    design::reportInfo(visibleWindow(), told);
            });
    });
}

void Program::startShopLink(const journal::TillIdentity &till)
{
    const std::optional<shop::pg::Address> address = shop::loadAddress();
    if (m_ended || !till.isSet() || !address || m_uploader)
        return;
    payment::setReceiptTill(till.number);
    m_uploader = std::make_unique<shop::Uploader>(journal::defaultFolder(), *address, shop::menuVersion());
    // The shop's menu and its open tables come to this till's windows.
    m_windows->shopMenu.start(till);
    m_windows->shopMenu.setShow(menu_transfer::showOnWindows);
    m_windows->openOrders.joinShop(till.number, till.uid);
    QObject::connect(&m_windows->shopMenu, &ShopMenu::shared, m_uploader.get(), &shop::Uploader::nudge);
    QObject::connect(m_uploader.get(), &shop::Uploader::menuArrived, &form1(),
                     [this](const QList<shop::MenuEdit> &edits) {
                         if (!m_ended)
                             m_windows->shopMenu.take(edits);
                     });
    QObject::connect(m_uploader.get(), &shop::Uploader::tablesChanged, &form1(),
                     [this](const shop::TablesView &view) {
                         if (!m_ended)
                             m_windows->openOrders.setShopView(view);
                     });
    QObject::connect(m_uploader.get(), &shop::Uploader::linkChanged, &form1(),
                     [this](const shop::LinkState &state) { tellLink(state); });
    // A change the shop already held with other content is never written
    // over: the shop keeps it apart, and the owner hears of it here.
    QObject::connect(m_uploader.get(), &shop::Uploader::keptAside, &form1(), [this](int count) {
        if (!m_ended)
            design::reportError(visibleWindow(),
                                QStringLiteral("店铺数据库里已有 %1 笔记录和本机传上去的编号相同、内容不同。"
                                               "店铺数据库没有覆盖原来的记录，把本机的另外保存了（表 tavelko.kept_aside），"
                                               "请店主核对。本机照常收银。")
                                    .arg(count));
    });
    m_uploader->start(QThread::LowPriority);
    if (!m_linkWatch) {
        m_linkWatch = new QTimer(&form1());
        QObject::connect(m_linkWatch, &QTimer::timeout, &form1(), [this] { watchLinkAway(); });
        m_linkWatch->start(30 * 1000);
    }
}

void Program::tellLink(const shop::LinkState &state)
{
    m_link = state;
    if (m_windows->form2)
        m_windows->form2->showShopLink(shop::describeLink(state));
    // The owner hears once that the link has been away a long while with
    // sales waiting, and once that it is back.
    if (state.connected && m_toldAway) {
        m_toldAway = false;
        design::reportInfo(visibleWindow(), QStringLiteral("已重新连上店铺数据库，没上传的记录正在补传。"));
    }
}

void Program::watchLinkAway()
{
    const shop::LinkState &state = m_link;
    if (m_toldAway || m_ended || !state.joined || state.connected || state.waiting == 0 ||
        !state.awaySince.isValid() || state.awaySince.secsTo(QDateTime::currentDateTime()) < 10 * 60)
        return;
    m_toldAway = true;
    design::reportError(visibleWindow(),
                        QStringLiteral("店铺数据库已经 %1 分钟连不上了，本机有 %2 笔记录等着上传。"
                                       "本机照常收银，记录都在本机保存，连上以后会自动补传。\n原因：%3")
                            .arg(state.awaySince.secsTo(QDateTime::currentDateTime()) / 60)
                            .arg(state.waiting)
                            .arg(state.why));
}

void Program::stopShopLink()
{
    if (!m_uploader)
        return;
    // What waits goes up at the next start: the program does not wait for a
    // server that hangs. A thread still in a call is left to the exit.
    m_windows->shopMenu.stop();
    m_uploader->stop();
    if (!m_uploader->wait(1000))
        (void)m_uploader.release();
    m_uploader.reset();
}

void Program::recordOpenOrder(bool tellOwner)
{
    // An order still on the main window ends with the program, unless it
    // was brought back from those put aside: that one goes back among them.
    // The journal gets a moment to write it and any still waiting, and
    // keeps what it could not write in its rescue file.
    if (m_windows->form2)
        m_windows->form2->putBackAside();
    m_windows->order.end(journal::OrderStatus::Unpaid);
    const QString text = journal::programJournalService().finish(std::chrono::seconds(2));
    stopShopLink();
    if (text.isEmpty())
        return;
    if (tellOwner)
        design::reportError(nullptr, text);
    else
        qWarning("%s", qUtf8Printable(text));
}

void Program::end()
{
    m_ended = true;
    recordOpenOrder(true);
    for (auto &sheet : m_windows->sheets)
        if (sheet)
            sheet->hide();
    if (m_windows->form2)
        m_windows->form2->hide();
    if (m_windows->form1)
        m_windows->form1->hide();
    QCoreApplication::exit(0);
}

Form1 &form1()
{
    return Program::current().form1();
}

Form2 &form2()
{
    return Program::current().form2();
}

OrderSheet &orderSheet(int category)
{
    return Program::current().sheet(category);
}

int startProgram()
{
    // A write past the file size limit fails like a full disk: the order
    // waits and is rescued, instead of the program ending without a word.
    journal::platform::ignoreFileSizeSignal();
    SingleInstance instance;
    if (!instance.isFirst())
        return 0;  // the running copy comes to the front instead
    QObject::connect(&instance, &SingleInstance::requested, &bringVisibleWindowForward);

    QApplication::setApplicationName(QStringLiteral("Tavelko"));
    // The desktop entry's name: a Wayland task bar finds the icon through it.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tavelko.tavelko"));
    QApplication::setQuitOnLastWindowClosed(false);  // the welcome window ends the program

    // The standard dialog buttons in Chinese ("确定", "取消").
    // The translation travels inside the program, so no missing package or
    // Windows language turns them into OK / Cancel.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral(":/i18n/qtbase_zh_CN.qm")))
        QCoreApplication::installTranslator(&qtTranslator);

    // Every window's fields answer a screen reader through the program's own
    // interfaces, also those of windows that name nothing themselves.
    a11y::install();
    Program program;
    program.start();
    // This is the only copy, so the store's leftovers belong to a dead run.
    // They are cleared once the welcome window is on the screen (the first
    // read of the store clears them too, should that come first).
    afterFirstPaint(&program.form1(), &settings::removeLeftovers);
    // The icon's pictures are read once the welcome window is on the screen:
    // the first frame does not draw them, and the window system takes a
    // window's icon whenever it is handed over.
    afterFirstPaint(&program.form1(), [] { QApplication::setWindowIcon(programIcon()); });
    // Quitting without the welcome window being closed (the desktop session
    // ending, a shutdown's or a logout's request to end) must not lose the
    // order on the main window either.
    quitOnEndRequest();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&program] {
        if (!program.hasEnded())
            program.recordOpenOrder(false);
    });
    return QApplication::exec();
}
