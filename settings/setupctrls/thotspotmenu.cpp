#include "thotspotmenu.h"

#include <QMenu>
#include <QMenuBar>
#include <QSet>

THotspotMenuEntry::THotspotMenuEntry(const QString &caption, QObject *hotspot, QObject *owner)
    : QAction(caption, owner), m_hotspot(hotspot)
{
    // The check mark shows a held popup; only the hotspot sets it.
    setCheckable(true);
    connect(this, &QAction::triggered, hotspot, [this](bool checkedNow) {
        setChecked(!checkedNow);
        if (m_hotspot)
            emit picked(this);
    });
}

namespace HotspotMenu {

QString CategoryStem(const QString &category)
{
    QString stem = category;
    return stem.remove(QLatin1Char('&'));
}

QObject *MenuOwner(QMenuBar *menu)
{
    return menu ? menu->window() : nullptr;
}

QString UniqueName(const QObject *owner, const QString &stem)
{
    QSet<QString> taken;
    if (owner) {
        taken.insert(owner->objectName().toLower());
        const auto objects = owner->findChildren<QObject *>();
        for (const QObject *object : objects)
            taken.insert(object->objectName().toLower());
    }
    for (int n = 1;; ++n) {
        const QString name = stem + QString::number(n);
        if (!taken.contains(name.toLower()))
            return name;
    }
}

namespace {

QString entryStem(const THotspotMenuSource *source)
{
    // A title without letters leaves no identifier to build a name on.
    const QString ident = source->menuIdent();
    if (ident.isEmpty())
        return QStringLiteral("Entry");
    if (ident.at(0).isDigit())
        return QStringLiteral("Entry") + ident;
    return ident;
}

THotspotMenuEntry *appendEntry(QMenu *category, QMenuBar *menu, const THotspotMenuSource *source,
                               QObject *hotspot)
{
    QObject *owner = MenuOwner(menu);
    auto *entry = new THotspotMenuEntry(source->title(), hotspot, owner);
    entry->setObjectName(UniqueName(owner, entryStem(source)));
    category->addAction(entry);
    return entry;
}

// The categories a hotspot's category stands before.
QStringList followers(const QString &category)
{
    static const QStringList Order = {QStringLiteral("&Settings"), QStringLiteral("&Calibration"),
                                      QStringLiteral("&Options"), QStringLiteral("&Help")};
    return Order.mid(Order.indexOf(category) + 1);
}

// The drop-down menus of the bar captioned category, in bar order.
QList<QMenu *> categoriesCaptioned(QMenuBar *menu, const QString &category)
{
    QList<QMenu *> found;
    const auto items = menu->actions();
    for (QAction *item : items) {
        if (item->text() == category && item->menu())
            found.append(item->menu());
    }
    return found;
}

QAction *entryTitled(const QMenu *category, const QString &title)
{
    const auto entries = category->actions();
    for (QAction *entry : entries) {
        if (entry->text() == title)
            return entry;
    }
    return nullptr;
}

} // namespace

THotspotMenuEntry *RegisterEntry(QMenuBar *menu, const THotspotMenuSource *source, QObject *hotspot)
{
    if (!menu || !source)
        return nullptr;
    const QString caption = source->menuCategory();
    const QString title = source->title();
    const QList<QMenu *> existing = categoriesCaptioned(menu, caption);
    if (!existing.isEmpty()) {
        QMenu *category = existing.first();
        if (title.isEmpty() || entryTitled(category, title))
            return nullptr;
        return appendEntry(category, menu, source, hotspot);
    }

    const QStringList before = followers(caption);
    QAction *position = nullptr;
    const auto items = menu->actions();
    for (QAction *item : items) {
        if (before.contains(item->text())) {
            position = item;
            break;
        }
    }
    QObject *owner = MenuOwner(menu);
    auto *category = new QMenu(caption, qobject_cast<QWidget *>(owner));
    category->setObjectName(UniqueName(owner, CategoryStem(caption)));
    menu->insertMenu(position, category);
    if (title.isEmpty())
        return nullptr;
    return appendEntry(category, menu, source, hotspot);
}

QAction *FindEntry(QMenuBar *menu, const THotspotMenuSource *hotspot, QMenu **category)
{
    if (!menu || !hotspot)
        return nullptr;
    const auto categories = categoriesCaptioned(menu, hotspot->menuCategory());
    for (QMenu *candidate : categories) {
        if (QAction *entry = entryTitled(candidate, hotspot->title())) {
            if (category)
                *category = candidate;
            return entry;
        }
    }
    return nullptr;
}

THotspotMenuEntry *Neighbour(QMenuBar *menu, const THotspotMenuSource *hotspot, bool forward)
{
    if (!menu || !hotspot)
        return nullptr;
    const auto categories = categoriesCaptioned(menu, hotspot->menuCategory());
    for (QMenu *category : categories) {
        // Only hotspot entries take part in the walk; other items are passed over.
        QList<THotspotMenuEntry *> entries;
        const auto actions = category->actions();
        for (QAction *action : actions) {
            if (auto *entry = qobject_cast<THotspotMenuEntry *>(action))
                entries.append(entry);
        }
        int j = -1;
        for (int i = 0; i < entries.size(); ++i) {
            if (entries.at(i)->text() == hotspot->title()) {
                j = i;
                break;
            }
        }
        if (j < 0)
            continue;
        const int c = entries.size();
        const int k = forward ? (j == c - 1 ? 0 : j + 1) : (j == 0 ? c - 1 : j - 1);
        return entries.at(k);
    }
    return nullptr;
}

} // namespace HotspotMenu
