#include "main_window/owner_menu.h"

#include "main_window/form2.h"
#include "shell/program.h"
#include "till/open_orders.h"

#include "common/design.h"
#include "common/touch_keys.h"
#include "main_window/menu_transfer_actions.h"
#include "payment/cash_up_window.h"
#include "payment/shop_window.h"
#include "shop/shop_link_window.h"
#include "takings/takings_window.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>

namespace owner_menu {

namespace {

// The menu's groups of entries, top to bottom, a separator between two. A
// new group is one more line here; the heading's tooltip names its entries by
// itself. "营业记录…" stays first, the
// entry the owner wants most (and the one the end-to-end case picks).
constexpr EntryGroup entryGroups[] = {
    addTakingsActions,
    addTillActions,
    addMenuTransferActions,
    addAboutActions,
};

#ifndef Q_OS_WIN
// Shift+F10, the keyboard's other way of asking for a context menu.
bool isShiftF10(const QKeyEvent *key)
{
    return key->key() == Qt::Key_F10 &&
           (key->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
}
#endif

// Watches the heading for the right press (the mouse's, or the one a held
// finger turns into) and the window for a keyboard's request for a context
// menu that no control took.
class Opener : public QObject {
public:
    Opener(QWidget &window, QLabel &heading) : QObject(&window), m_window(window), m_heading(heading)
    {
        heading.installEventFilter(this);
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_heading && design::isRightPress(event)) {
            open(m_window, static_cast<QMouseEvent *>(event)->globalPosition().toPoint(), false);
            return true;
        }
        if (watched != &m_window)
            return false;
        if (event->type() == QEvent::ContextMenu &&
            static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
            // Reaches the window when the focused control did not take it; a
            // focused category button takes it to rename itself.
            open(m_window, m_heading.mapToGlobal(QPoint(m_heading.width() / 2, m_heading.height())), true);
            return true;
        }
#ifndef Q_OS_WIN
        // Windows itself turns Shift+F10 into a context menu request; here it
        // is turned into one for the focused control, which may take it as
        // the menu key's (a category button renames itself), else the window
        // opens the owner's menu as above.
        if (event->type() == QEvent::KeyPress && isShiftF10(static_cast<QKeyEvent *>(event))) {
            if (!static_cast<QKeyEvent *>(event)->isAutoRepeat()) {
                QWidget *focused = m_window.focusWidget() ? m_window.focusWidget() : &m_window;
                const QPoint centre = focused->rect().center();
                QContextMenuEvent request(QContextMenuEvent::Keyboard, centre,
                                          focused->mapToGlobal(centre));
                QApplication::sendEvent(focused, &request);
            }
            return true;
        }
#endif
        return false;
    }

private:
    QWidget &m_window;
    QLabel &m_heading;
};

// "营业记录…" without its dots: "营业记录".
QString withoutEllipsis(QString text)
{
    text.remove(QChar(u'…'));
    return text;
}

}  // namespace

void addTakingsActions(QMenu &menu, QWidget *parent)
{
    QAction *takings = menu.addAction(QStringLiteral("营业记录…"));
    takings->setObjectName(QStringLiteral("takingsAction"));
    QObject::connect(takings, &QAction::triggered, parent, [parent] {
        takings::openTakingsWindow(parent);
    });
}

void addTillActions(QMenu &menu, QWidget *parent)
{
    QAction *cashUp = menu.addAction(QStringLiteral("交班…"));
    cashUp->setObjectName(QStringLiteral("cashUpAction"));
    QObject::connect(cashUp, &QAction::triggered, parent, [parent] { payment::openCashUp(parent); });
    QAction *shop = menu.addAction(QStringLiteral("店铺信息…"));
    shop->setObjectName(QStringLiteral("shopAction"));
    QObject::connect(shop, &QAction::triggered, parent, [parent] { payment::openShopWindow(parent); });
    QAction *database = menu.addAction(QStringLiteral("店铺数据库…"));
    database->setObjectName(QStringLiteral("shopDatabaseAction"));
    QObject::connect(database, &QAction::triggered, parent, [parent] { shop::openShopLinkWindow(parent); });
    if (Program::current().openOrders().inShop()) {
        QAction *free = menu.addAction(QStringLiteral("强制取回挂单…"));
        free->setObjectName(QStringLiteral("freeTableAction"));
        QObject::connect(free, &QAction::triggered, parent, [] { Program::current().form2().freeTable(); });
    }
}

void addAboutActions(QMenu &menu, QWidget *parent)
{
    QAction *about = menu.addAction(QStringLiteral("关于 Tavelko"));
    about->setObjectName(QStringLiteral("aboutAction"));
    QObject::connect(about, &QAction::triggered, parent, [parent] {
        QMessageBox box(QMessageBox::Information, QStringLiteral("关于 Tavelko"),
                        QStringLiteral("Tavelko %1\n小餐馆的点菜收银程序：点菜、结账、打印清单，并记下每天的营业记录。")
                            .arg(QStringLiteral(TAVELKO_VERSION)),
                        QMessageBox::Ok, parent);
        box.setObjectName(QStringLiteral("关于"));
        box.setFont(design::readingFont());
        box.setIconPixmap(QApplication::windowIcon().pixmap(48, 48));
        box.exec();
    });
}

void fill(QMenu &menu, QWidget *parent)
{
    for (const EntryGroup group : entryGroups) {
        if (!menu.isEmpty())
            menu.addSeparator();
        group(menu, parent);
    }
}

void equip(QWidget &window, QLabel &heading)
{
    new Opener(window, heading);
    // A finger held still on the heading becomes its right press, as on the
    // editable captions. The heading is never focused: no keys reach it.
    tillinput::equip(&heading, {&heading});

    QMenu entries;
    fill(entries, &window);
    QStringList offered;
    for (const QAction *action : entries.actions())
        if (!action->isSeparator())
            offered << withoutEllipsis(action->text());
    heading.setToolTip(QStringLiteral("右键单击（或长按）打开店主菜单：%1").arg(offered.join(QStringLiteral("、"))));
}

QMenu *open(QWidget &window, const QPoint &globalPos, bool byKeys)
{
    // One menu per window, filled afresh each time it opens.
    auto *menu = window.findChild<QMenu *>(QStringLiteral("ownerMenu"), Qt::FindDirectChildrenOnly);
    if (!menu) {
        menu = new QMenu(&window);
        menu->setObjectName(QStringLiteral("ownerMenu"));
        menu->setFont(design::readingFont());  // a popup has the platform's type, not the window's
    }
    menu->clear();
    fill(*menu, &window);
    menu->popup(globalPos);
    // Opened by keys, it opens on its first entry, so that a screen reader
    // says where the keys are and Enter takes that entry; opened by the
    // mouse or a finger, Down still goes to the first entry.
    if (byKeys)
        menu->setActiveAction(menu->actions().value(0));
    return menu;
}

}  // namespace owner_menu
