#pragma once

#include "tboardhighlight.h"

#include <QAction>
#include <QPointer>

class QMenu;
class QMenuBar;

// A hotspot's entry in a category menu; remembers the hotspot that made it.
class THotspotMenuEntry : public QAction
{
    Q_OBJECT

public:
    THotspotMenuEntry(const QString &caption, TBoardHighlight *hotspot, QObject *owner);

    TBoardHighlight *hotspot() const { return m_hotspot; }

private:
    QPointer<TBoardHighlight> m_hotspot;
};

// The category menus that hotspots extend, and the walks over them.
namespace HotspotMenu {

// "&Options", "&Settings" or "&Calibration".
QString CategoryCaption(THighlightType type);
// "Options", "Settings" or "Calibration": stem of the category's name.
QString CategoryStem(THighlightType type);
// stem + the smallest n >= 1 that no object of owner (itself included) is
// named, compared without regard to case.
QString UniqueName(const QObject *owner, const QString &stem);
// The window that owns the menu's items.
QObject *MenuOwner(QMenuBar *menu);

// Creates the category when missing (before "&Help", in the order Settings,
// Calibration, Options) and appends the hotspot's entry unless the title
// is empty or a linked hotspot registered it.
void RegisterEntry(QMenuBar *menu, TBoardHighlight *hotspot);
// The first category with the hotspot's caption that holds an entry captioned
// its title, and that entry.
QAction *FindEntry(QMenuBar *menu, const TBoardHighlight *hotspot, QMenu **category = nullptr);
// The neighbouring hotspot entry of the hotspot's own, wrapping around.
THotspotMenuEntry *Neighbour(QMenuBar *menu, const TBoardHighlight *hotspot, bool forward);

} // namespace HotspotMenu
