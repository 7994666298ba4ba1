#pragma once

#include "setupctrls_export.h"

#include <QAction>
#include <QPointer>

class QMenu;
class QMenuBar;

// What the category menus know of a hotspot.
class SETUPCTRLS_EXPORT THotspotMenuSource
{
public:
    // "&Options", "&Settings" or "&Calibration".
    virtual QString menuCategory() const = 0;
    // The entry's caption.
    virtual QString title() const = 0;
    // The title as an identifier: the stem of the entry's object name.
    virtual QString menuIdent() const = 0;

protected:
    ~THotspotMenuSource() = default;
};

// A hotspot's entry in a category menu; remembers the hotspot that made it.
class SETUPCTRLS_EXPORT THotspotMenuEntry : public QAction
{
    Q_OBJECT

public:
    THotspotMenuEntry(const QString &caption, QObject *hotspot, QObject *owner);

    QObject *hotspot() const { return m_hotspot; }

Q_SIGNALS:
    // The user picked the entry (passed as entry) while its hotspot lives; the check mark is left
    // as it was, for the hotspot to set.
    void picked(QObject *entry);

private:
    QPointer<QObject> m_hotspot;
};

// The category menus that hotspots extend, and the walks over them.
namespace HotspotMenu {

// "Options", "Settings" or "Calibration": the category's caption without its accelerator.
SETUPCTRLS_EXPORT QString CategoryStem(const QString &category);
// stem + the smallest n >= 1 that no object of owner (itself included) is
// named, compared without regard to case.
SETUPCTRLS_EXPORT QString UniqueName(const QObject *owner, const QString &stem);
// The window that owns the menu's items.
SETUPCTRLS_EXPORT QObject *MenuOwner(QMenuBar *menu);

// Creates the category when missing (before "&Help", in the order Settings,
// Calibration, Options) and appends an entry for hotspot (described by source)
// unless the title is empty or a linked hotspot registered it. Returns the new
// entry, if any.
SETUPCTRLS_EXPORT THotspotMenuEntry *RegisterEntry(QMenuBar *menu, const THotspotMenuSource *source,
                                                   QObject *hotspot);
// The first category with the hotspot's caption that holds an entry captioned
// its title, and that entry.
SETUPCTRLS_EXPORT QAction *FindEntry(QMenuBar *menu, const THotspotMenuSource *hotspot,
                                     QMenu **category = nullptr);
// The neighbouring hotspot entry of the hotspot's own, wrapping around.
SETUPCTRLS_EXPORT THotspotMenuEntry *Neighbour(QMenuBar *menu, const THotspotMenuSource *hotspot,
                                               bool forward);

} // namespace HotspotMenu
