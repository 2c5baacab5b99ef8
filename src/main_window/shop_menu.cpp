#include "main_window/shop_menu.h"

#include "journal/journal_service.h"
#include "settings/caption_store.h"
#include "settings/menu_transfer.h"
#include "shop/shop_config.h"

#include <QSet>

namespace {

void share(QObject *context, const QMap<QString, QString> &entries, qint64 base,
           std::function<void(QString)> done)
{
    journal::programJournalService().run<QString>(
        context,
        [entries, base](journal::Journal &j) {
            return j.shareMenu(entries, base) ? QString() : j.error();
        },
        std::move(done));
}

}  // namespace

ShopMenu::ShopMenu(QObject *parent) : QObject(parent) {}

ShopMenu::~ShopMenu()
{
    stop();
}

void ShopMenu::start(const journal::TillIdentity &till)
{
    m_tillUid = till.uid;
    settings::setChangedHook([this](const QMap<QString, QString> &changed) {
        const QStringList menu = menu_transfer::menuKeys();
        QMap<QString, QString> edits;
        for (auto entry = changed.cbegin(); entry != changed.cend(); ++entry)
            if (menu.contains(entry.key()))
                edits.insert(entry.key(), entry.value());
        if (edits.isEmpty())
            return;
        share(this, edits, shop::menuVersion(), [this](const QString &failure) {
            if (failure.isEmpty())
                emit shared();
            else
                emit told(QStringLiteral("菜单的改动已在本机保存，但没能交给店铺（%1）；其他收银机还是原来的菜单。")
                              .arg(failure));
        });
    });
}

void ShopMenu::stop()
{
    settings::setChangedHook({});
}

void ShopMenu::take(const QList<shop::MenuEdit> &edits)
{
    if (edits.isEmpty())
        return;
    const QStringList menu = menu_transfer::menuKeys();
    QMap<QString, QString> latest;
    QMap<QString, QString> by;  // who made the latest edit of each caption
    QStringList lost;
    for (const shop::MenuEdit &edit : edits) {
        if (!menu.contains(edit.key))
            continue;  // a caption this version does not have
        if (edit.tillUid == m_tillUid) {
            m_ownVersion[edit.key] = edit.version;
        } else if (m_ownVersion.value(edit.key, -1) > edit.base) {
            // Edited there without having seen this till's edit: the later
            // one stands, on every till.
            lost << edit.key;
        }
        latest[edit.key] = edit.value;
        by[edit.key] = edit.tillUid == m_tillUid ? QString() : edit.tillName;
    }
    QMap<QString, QString> now;
    QString problem;
    if (!settings::readCaptions(menu, &now, &problem)) {
        emit told(QStringLiteral("店铺的菜单改了，但本机的设置文件无法读取（%1），没有更新。").arg(problem));
        return;
    }
    QMap<QString, QString> changed;
    for (auto entry = latest.cbegin(); entry != latest.cend(); ++entry)
        if (now.value(entry.key()) != entry.value())
            changed.insert(entry.key(), entry.value());
    if (!changed.isEmpty()) {
        const settings::QuietSaves fromTheShop;
        if (!settings::saveCaptions(changed)) {
            emit told(settings::saveFailureMessage(QStringLiteral("店铺的菜单")));
            return;  // taken again at the next start
        }
        if (m_show)
            m_show(changed);
    }
    shop::setMenuVersion(edits.last().version);
    QMap<QString, QString> after = now;
    for (auto entry = changed.cbegin(); entry != changed.cend(); ++entry)
        after.insert(entry.key(), entry.value());
    QStringList lines;
    for (auto entry = changed.cbegin(); entry != changed.cend(); ++entry)
        lines << menu_transfer::describeEdit(entry.key(), now.value(entry.key()), entry.value(), after);
    QStringList lostLines;
    for (const QString &key : QSet<QString>(lost.begin(), lost.end()))
        lostLines << QStringLiteral("%1 改的 %2")
                         .arg(by.value(key), menu_transfer::describeEdit(key, now.value(key), latest.value(key), after));
    QString text;
    if (!lines.isEmpty())
        text = QStringLiteral("菜单已更新：") + lines.join(QStringLiteral("；"));
    if (!lostLines.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                QStringLiteral("本机改的菜单和别的收银机同时改了同一项，以店铺后收到的为准：") +
                lostLines.join(QStringLiteral("；"));
    if (!text.isEmpty())
        emit told(text);
}
