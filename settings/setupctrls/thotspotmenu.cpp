#include "thotspotmenu.h"

#include <QMenu>
#include <QMenuBar>
#include <QSet>

THotspotMenuEntry::THotspotMenuEntry(const QString &caption, TBoardHighlight *hotspot,
                                     QObject *owner)
    : QAction(caption, owner), m_hotspot(hotspot)
{
    // The check mark shows a held popup; only the hotspot sets it.
    setCheckable(true);
    connect(this, &QAction::triggered, hotspot, [this](bool checkedNow) {
        setChecked(!checkedNow);
        if (m_hotspot)
            m_hotspot->MenuEntryClick(this);
    });
}

namespace HotspotMenu {

QString CategoryCaption(THighlightType type)
{
    switch (type) {
    case TBoardHighlight::htOptions:
        return QStringLiteral("&Options");
    case TBoardHighlight::htCalibration:
        return QStringLiteral("&Calibration");
    case TBoardHighlight::htSettings:
        break;
    }
    return QStringLiteral("&Settings");
}

QString CategoryStem(THighlightType type)
{
    QString caption = CategoryCaption(type);
    return caption.remove(QLatin1Char('&'));
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

QString entryStem(const TBoardHighlight *hotspot)
{
    // A title without letters leaves no identifier to build a name on.
    const QString ident = hotspot->menuIdent();
    if (ident.isEmpty())
        return QStringLiteral("Entry");
    if (ident.at(0).isDigit())
        return QStringLiteral("Entry") + ident;
    return ident;
}

void appendEntry(QMenu *category, QMenuBar *menu, TBoardHighlight *hotspot)
{
    QObject *owner = MenuOwner(menu);
    auto *entry = new THotspotMenuEntry(hotspot->title(), hotspot, owner);
    entry->setObjectName(UniqueName(owner, entryStem(hotspot)));
    category->addAction(entry);
}

QStringList followers(THighlightType type)
{
    switch (type) {
    case TBoardHighlight::htSettings:
        return {QStringLiteral("&Calibration"), QStringLiteral("&Options"),
                QStringLiteral("&Help")};
    case TBoardHighlight::htCalibration:
        return {QStringLiteral("&Options"), QStringLiteral("&Help")};
    case TBoardHighlight::htOptions:
        break;
    }
    return {QStringLiteral("&Help")};
}

} // namespace

void RegisterEntry(QMenuBar *menu, TBoardHighlight *hotspot)
{
    if (!menu || !hotspot)
        return;
    const QString caption = CategoryCaption(hotspot->highlightType());
    const QString title = hotspot->title();
    const auto items = menu->actions();
    for (QAction *item : items) {
        if (item->text() != caption || !item->menu())
            continue;
        const auto entries = item->menu()->actions();
        for (QAction *entry : entries) {
            if (entry->text() == title)
                return;
        }
        if (!title.isEmpty())
            appendEntry(item->menu(), menu, hotspot);
        return;
    }

    const QStringList before = followers(hotspot->highlightType());
    QAction *position = nullptr;
    for (QAction *item : items) {
        if (before.contains(item->text())) {
            position = item;
            break;
        }
    }
    QObject *owner = MenuOwner(menu);
    auto *category = new QMenu(caption, qobject_cast<QWidget *>(owner));
    category->setObjectName(UniqueName(owner, CategoryStem(hotspot->highlightType())));
    menu->insertMenu(position, category);
    if (!title.isEmpty())
        appendEntry(category, menu, hotspot);
}

QAction *FindEntry(QMenuBar *menu, const TBoardHighlight *hotspot, QMenu **category)
{
    if (!menu || !hotspot)
        return nullptr;
    const QString caption = CategoryCaption(hotspot->highlightType());
    const auto items = menu->actions();
    for (QAction *item : items) {
        if (item->text() != caption || !item->menu())
            continue;
        const auto entries = item->menu()->actions();
        for (QAction *entry : entries) {
            if (entry->text() == hotspot->title()) {
                if (category)
                    *category = item->menu();
                return entry;
            }
        }
    }
    return nullptr;
}

THotspotMenuEntry *Neighbour(QMenuBar *menu, const TBoardHighlight *hotspot, bool forward)
{
    if (!menu || !hotspot)
        return nullptr;
    const QString caption = CategoryCaption(hotspot->highlightType());
    const auto items = menu->actions();
    for (QAction *item : items) {
        if (item->text() != caption || !item->menu())
            continue;
        // Only hotspot entries take part in the walk; other items are passed over.
        QList<THotspotMenuEntry *> entries;
        const auto actions = item->menu()->actions();
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
