#include "windowframe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QHash>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#ifdef BOARD_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>
#endif

namespace {

#ifdef BOARD_HAVE_XCB

// Bounded: a window manager that claims the request but never answers costs this once.
constexpr int frameExtentsTimeoutMs = 500;

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// A window's property of the given type and 32-bit format, or null; freed by its owner.
struct FreeReply
{
    void operator()(void *reply) const { std::free(reply); }
};
using PropertyReply = std::unique_ptr<xcb_get_property_reply_t, FreeReply>;

PropertyReply readProperty32(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t name,
                             xcb_atom_t type, uint32_t maxWords)
{
    xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, name, type, 0, maxWords);
    PropertyReply reply(xcb_get_property_reply(connection, cookie, nullptr));
    if (reply && (reply->type != type || reply->format != 32))
        reply.reset();
    return reply;
}

// The four CARDINALs of a window's _NET_FRAME_EXTENTS (left, right, top, bottom), if set.
bool readFrameExtents(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t extents,
                      QMargins *margins)
{
    const PropertyReply reply = readProperty32(connection, window, extents, XCB_ATOM_CARDINAL, 4);
    if (!reply || xcb_get_property_value_length(reply.get()) != 16)
        return false;
    const auto *value = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
    *margins = QMargins(int(value[0]), int(value[2]), int(value[1]), int(value[3]));
    return true;
}

// A window's WM_HINTS, as nine words, all zero where it has none.
void readWmHints(xcb_connection_t *connection, xcb_window_t window, uint32_t (&hints)[9])
{
    std::memset(hints, 0, sizeof hints);
    PropertyReply reply(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, 9),
        nullptr));
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) == 36)
        std::memcpy(hints, xcb_get_property_value(reply.get()), sizeof hints);
}

// A tool window of the program: not in task bars and pagers.
void skipTaskbarAndPager(xcb_connection_t *connection, xcb_window_t window)
{
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t skip[] = {internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                               internAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    if (state != XCB_ATOM_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, state, XCB_ATOM_ATOM, 32, 2,
                            skip);
}

// Qt writes a window's hints and states as it maps it: what amend changes right after show(),
// the server held, is what the window manager reads at the map.
void showAmended(xcb_connection_t *connection, const std::function<void()> &show,
                 const std::function<void()> &amend)
{
    xcb_grab_server(connection);
    show();
    amend();
    xcb_ungrab_server(connection);
    xcb_flush(connection);
}

bool rootSupports(xcb_connection_t *connection, xcb_window_t root, xcb_atom_t wanted)
{
    const xcb_atom_t supported = internAtom(connection, "_NET_SUPPORTED");
    const PropertyReply reply = readProperty32(connection, root, supported, XCB_ATOM_ATOM, 4096);
    if (!reply)
        return false;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::find(atoms, atoms + count, wanted) != atoms + count;
}

xcb_window_t rootOf(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_get_geometry_reply_t *reply =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (!reply)
        return XCB_WINDOW_NONE;
    const xcb_window_t root = reply->root;
    std::free(reply);
    return root;
}

void sendFrameRequest(xcb_connection_t *connection, xcb_window_t root, xcb_window_t window,
                      xcb_atom_t request)
{
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = request;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(connection);
}

xcb_connection_t *x11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The name the running window manager gives itself, or empty without one.
QString managerName(xcb_connection_t *connection)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t check = internAtom(connection, "_NET_SUPPORTING_WM_CHECK");
    const PropertyReply supporting = readProperty32(connection, root, check, XCB_ATOM_WINDOW, 1);
    if (!supporting || xcb_get_property_value_length(supporting.get()) != 4)
        return QString();
    const xcb_window_t window =
        *static_cast<xcb_window_t *>(xcb_get_property_value(supporting.get()));
    const xcb_atom_t name = internAtom(connection, "_NET_WM_NAME");
    PropertyReply reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
        nullptr));
    if (!reply || reply->format != 8)
        return QString();
    return QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

// Frames seen in earlier runs, in device pixels, by window manager and kind of window: some
// managers answer the frame request with another kind's frame (metacity and mutter give tool
// windows a smaller one than they state) or not at all (KWin, fluxbox). A cache: a missing or
// outdated entry costs one correction after mapping, as on the first run.
class RememberedFrames
{
public:
    RememberedFrames()
        : m_store(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                      QStringLiteral("/Kestrune/windowframes.ini"),
                  QSettings::IniFormat)
    {
        if (xcb_connection_t *connection = x11Connection())
            m_manager = managerName(connection);
    }

    bool find(int kind, QMargins *device) const
    {
        // Left, top, right, bottom; anything else, or a side no frame has, is ignored.
        const QStringList sides =
            m_store.value(key(kind)).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        int side[4] = {};
        bool valid = !m_manager.isEmpty() && sides.size() == 4;
        for (int i = 0; valid && i < 4; ++i) {
            side[i] = sides[i].toInt(&valid);
            valid = valid && side[i] >= 0 && side[i] <= kMaxFrameSide;
        }
        if (valid)
            *device = QMargins(side[0], side[1], side[2], side[3]);
        return valid;
    }

    void keep(int kind, const QMargins &device)
    {
        QMargins known;
        if (m_manager.isEmpty() || (find(kind, &known) && known == device))
            return;
        m_store.setValue(key(kind), QStringLiteral("%1 %2 %3 %4")
                                        .arg(device.left())
                                        .arg(device.top())
                                        .arg(device.right())
                                        .arg(device.bottom()));
        m_store.sync();
    }

private:
    static constexpr int kMaxFrameSide = 512; // device pixels

    QString key(int kind) const
    {
        return QString::fromLatin1(m_manager.toUtf8().toPercentEncoding()) + QLatin1Char('/') +
               QString::number(uint(kind), 16);
    }

    QSettings m_store;
    QString m_manager;
};

RememberedFrames &rememberedFrames()
{
    static RememberedFrames frames;
    return frames;
}

// The frame the window manager says it gave a mapped window, in device pixels.
bool framedExtents(xcb_window_t window, QMargins *margins)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return false;
    const xcb_atom_t extents = internAtom(connection, "_NET_FRAME_EXTENTS");
    return extents != XCB_ATOM_NONE && readFrameExtents(connection, window, extents, margins);
}

// Asks the window manager which frame it would give the unmapped window; with wait, waits for its
// answer, else takes one only if it came already.
bool requestFrameExtents(xcb_window_t window, QMargins *margins, bool wait)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return false;
    // A window manager that did not answer once will not answer later either.
    static bool unanswered = false;
    if (unanswered)
        return false;
    const xcb_atom_t extents = internAtom(connection, "_NET_FRAME_EXTENTS");
    const xcb_atom_t request = internAtom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_window_t root = rootOf(connection, window);
    if (extents == XCB_ATOM_NONE || request == XCB_ATOM_NONE || root == XCB_WINDOW_NONE ||
        !rootSupports(connection, root, request))
        return false;
    if (readFrameExtents(connection, window, extents, margins))
        return true;
    if (!wait)
        return false;

    sendFrameRequest(connection, root, window, request);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < frameExtentsTimeoutMs) {
        if (readFrameExtents(connection, window, extents, margins))
            return true;
        QThread::msleep(2);
    }
    unanswered = true;
    return false;
}

#endif // BOARD_HAVE_XCB

} // namespace

namespace {

// X11 speaks in device pixels, widgets in logical ones.
QMargins toLogical(const QMargins &device, qreal ratio)
{
    if (ratio == 1.0)
        return device;
    return QMargins(qRound(device.left() / ratio), qRound(device.top() / ratio),
                    qRound(device.right() / ratio), qRound(device.bottom() / ratio));
}

// What the platform says of a native window that is not mapped.
QMargins unmappedFrameMargins(QWidget *window, bool wait = true)
{
    const WId id = window->winId();
#ifdef BOARD_HAVE_XCB
    QMargins margins;
    if (requestFrameExtents(xcb_window_t(id), &margins, wait))
        return toLogical(margins, window->devicePixelRatioF());
#else
    Q_UNUSED(id);
#endif
    QWindow *handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

// Frames already seen, and probes asked in advance, by kind of window.
QHash<int, QMargins> &seenFrames()
{
    static QHash<int, QMargins> frames;
    return frames;
}

#ifdef BOARD_HAVE_XCB
// The frame of a mapped window as the window manager states it, kept for later windows of its
// kind, in this run and the next.
bool framedAndKept(QWidget *window, QMargins *margins)
{
    if (!framedExtents(xcb_window_t(window->winId()), margins))
        return false;
    const int kind = int(window->windowFlags());
    rememberedFrames().keep(kind, *margins);
    *margins = toLogical(*margins, window->devicePixelRatioF());
    seenFrames().insert(kind, *margins);
    return true;
}
#endif

// A frame seen in this run or, under the same window manager, an earlier one.
bool knownFrame(int kind, QMargins *margins)
{
    if (!seenFrames().contains(kind)) {
#ifdef BOARD_HAVE_XCB
        QMargins device;
        if (!x11Connection() || !rememberedFrames().find(kind, &device))
            return false;
        seenFrames().insert(kind, toLogical(device, qGuiApp->devicePixelRatio()));
#else
        return false;
#endif
    }
    *margins = seenFrames().value(kind);
    return true;
}

#ifdef BOARD_HAVE_XCB
// A compositing manager shows a transparent window as nothing at all.
bool compositing(xcb_connection_t *connection, xcb_window_t root)
{
    int screen = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection));
         it.rem && it.data->root != root; xcb_screen_next(&it))
        ++screen;
    const xcb_atom_t selection =
        internAtom(connection, QByteArray("_NET_WM_CM_S").append(QByteArray::number(screen)));
    xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
}

// A window of one kind that the window manager frames as it will the real ones, never seen:
// transparent to the compositor, iconic where the manager keeps it so (mutter and xfwm4 map tool
// windows all the same), taking no keyboard, out of task bars and pagers, and gone once its frame
// is stated or after a while.
class FrameProbe : public QObject
{
public:
    FrameProbe(xcb_connection_t *connection, QWidget *owner, const QWidget *active,
               Qt::WindowFlags flags)
        : QObject(owner), m_window(new QWidget(owner, flags)), m_kind(int(m_window->windowFlags()))
    {
        pending().insert(m_kind, this);
        m_window->setAttribute(Qt::WA_ShowWithoutActivating);
        m_window->setWindowOpacity(0.0);
        // Over its owner, where nothing new catches the eye even were it drawn.
        m_window->setGeometry(QRect(owner->geometry().center(), QSize(probeSide, probeSide)));
        const xcb_window_t id = xcb_window_t(m_window->winId());
        // A window of the active one's: the manager leaves it the keyboard without drawing
        // attention to the new window (mutter).
        m_window->windowHandle()->setTransientParent(active->windowHandle());
        showAmended(
            connection, [this] { m_window->show(); }, [connection, id] { unseen(connection, id); });
        m_age.start();
        connect(&m_poll, &QTimer::timeout, this, [this] {
            if (framed() || m_age.elapsed() > lifetimeMs)
                finish();
        });
        m_poll.start(pollMs);
    }
    ~FrameProbe() override
    {
        pending().remove(m_kind);
        delete m_window.data();
    }

    // A probe of this kind on its way, whose answer a window of its kind waits for.
    static void WaitFor(int kind)
    {
        FrameProbe *probe = pending().value(kind);
        if (!probe)
            return;
        QElapsedTimer clock;
        clock.start();
        while (!probe->framed() && clock.elapsed() < waitMs)
            QThread::msleep(2);
        probe->finish();
    }

private:
    // Bounded: a manager that states no frame for it (or is slow) costs this once at most.
    static constexpr int probeSide = 100, pollMs = 10, lifetimeMs = 3000, waitMs = 300;

    static QHash<int, FrameProbe *> &pending()
    {
        static QHash<int, FrameProbe *> all;
        return all;
    }

    bool framed()
    {
        QMargins margins;
        return !m_window || framedAndKept(m_window, &margins);
    }

    void finish()
    {
        m_poll.stop();
        pending().remove(m_kind);
        deleteLater();
    }

    static void unseen(xcb_connection_t *connection, xcb_window_t id)
    {
        constexpr uint32_t inputHint = 1 << 0, stateHint = 1 << 1, iconicState = 3;
        uint32_t hints[9];
        readWmHints(connection, id, hints);
        hints[0] |= inputHint | stateHint;
        hints[1] = 0;
        hints[2] = iconicState;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS,
                            XCB_ATOM_WM_HINTS, 32, 9, hints);
        skipTaskbarAndPager(connection, id);
    }

    QPointer<QWidget> m_window; // a child of the owner too, which may go first
    int m_kind;
    QElapsedTimer m_age;
    QTimer m_poll;
};
#endif

QHash<int, QWidget *> &probes()
{
    static QHash<int, QWidget *> all;
    return all;
}

void deleteProbes()
{
    qDeleteAll(probes());
    probes().clear();
}

// A frame of another window of this program: the best guess where the window manager is silent.
bool framedSibling(QMargins *margins)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->isVisible() && window->frameGeometry() != window->geometry()) {
            *margins = ExpectedFrameMargins(window);
            return true;
        }
    }
    return false;
}

// A window of this kind, not created yet: no waiting when it was asked about in advance.
QMargins marginsOfKind(Qt::WindowFlags flags)
{
    const int kind = int(flags);
    QMargins margins;
#ifdef BOARD_HAVE_XCB
    FrameProbe::WaitFor(kind);
#endif
    if (knownFrame(kind, &margins))
        return margins;
    if (QWidget *probe = probes().value(kind)) {
        margins = unmappedFrameMargins(probe, false);
        if (margins.isNull())
            framedSibling(&margins);
        return margins;
    }
    QWidget probe(nullptr, flags);
    return unmappedFrameMargins(&probe);
}

#ifdef BOARD_HAVE_XCB
// The frame the window manager said, when asked in advance, that windows of this kind get.
bool frameAnswered(Qt::WindowFlags flags, QMargins *margins)
{
    const int kind = int(flags);
    if (knownFrame(kind, margins))
        return true;
    QWidget *probe = probes().value(kind);
    if (!probe || !requestFrameExtents(xcb_window_t(probe->winId()), margins, false))
        return false;
    *margins = toLogical(*margins, probe->devicePixelRatioF());
    return true;
}
#endif

} // namespace

QMargins ExpectedFrameMargins(QWidget *window)
{
    if (!window)
        return QMargins();
    // A widget counts as visible from its show event on; its platform window only once mapped.
    if (window->windowHandle() && window->windowHandle()->isVisible()) {
        const QRect outer = window->frameGeometry();
        const QRect client = window->geometry();
        return QMargins(client.left() - outer.left(), client.top() - outer.top(),
                        outer.right() - client.right(), outer.bottom() - client.bottom());
    }
    if (window->testAttribute(Qt::WA_WState_Created))
        return unmappedFrameMargins(window);
    // A probe of the same kind, never shown, is asked instead.
    return marginsOfKind(window->windowFlags());
}

void AskFrameInAdvance(Qt::WindowFlags flags)
{
#ifdef BOARD_HAVE_XCB
    static QList<int> asked;
    xcb_connection_t *connection = x11Connection();
    if (!connection || asked.contains(int(flags)))
        return;
    asked.append(int(flags));
    if (probes().isEmpty())
        qAddPostRoutine(deleteProbes);
    auto *probe = new QWidget(nullptr, flags);
    probes().insert(int(probe->windowFlags()), probe);
    const xcb_window_t window = xcb_window_t(probe->winId());
    const xcb_atom_t request = internAtom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_window_t root = rootOf(connection, window);
    if (request != XCB_ATOM_NONE && root != XCB_WINDOW_NONE &&
        rootSupports(connection, root, request))
        sendFrameRequest(connection, root, window, request);
#else
    Q_UNUSED(flags);
#endif
}

void MeasureFrameInAdvance(QWidget *owner, Qt::WindowFlags flags)
{
#ifdef BOARD_HAVE_XCB
    static QList<int> measured;
    xcb_connection_t *connection = x11Connection();
    if (!connection || measured.contains(int(flags)))
        return;
    measured.append(int(flags));
    // Only where nothing could show it, and the manager states the frames it gives.
    const QPointer<QWidget> window = owner->window();
    const xcb_window_t root = rootOf(connection, xcb_window_t(window->winId()));
    if (!compositing(connection, root) ||
        !rootSupports(connection, root, internAtom(connection, "_NET_FRAME_EXTENTS")))
        return;
    auto measure = [connection, window, flags] {
        QMargins known;
        const QWidget *active = QApplication::activeWindow();
        if (window && active && !knownFrame(int(flags), &known))
            new FrameProbe(connection, window, active, flags);
    };
    // Mapped while the program is active: the probe then belongs to the window that has the
    // keyboard.
    if (QGuiApplication::applicationState() == Qt::ApplicationActive) {
        measure();
        return;
    }
    auto *once = new QObject(window);
    QObject::connect(
        qGuiApp, &QGuiApplication::applicationStateChanged, once,
        [measure, once](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive)
                return;
            measure();
            once->deleteLater();
        },
        Qt::QueuedConnection); // once the active window is known
#else
    Q_UNUSED(owner);
    Q_UNUSED(flags);
#endif
}

void PlaceOuterRect(QWidget *window, const QPoint &outerTopLeft, const QSize &client,
                    const QMargins &margins)
{
    if (window->testAttribute(Qt::WA_WState_Created)) {
        // The client rectangle is what the platform places exactly; the frame goes around it.
        window->setGeometry(QRect(outerTopLeft + QPoint(margins.left(), margins.top()), client));
        return;
    }
    // Moved before it exists, a window is created with north-west gravity: the window manager
    // puts the frame's corner at the place asked for, whatever frame it chooses.
    window->resize(client);
    window->move(outerTopLeft);
}

namespace {

// The frame of a mapped window, once the window manager has put one around it (at once without
// a window manager).
bool frameKnown(QWidget *window, QMargins *margins)
{
    if (!window->windowHandle() || !window->windowHandle()->isExposed())
        return false;
#ifdef BOARD_HAVE_XCB
    if (xcb_connection_t *connection = x11Connection()) {
        const xcb_window_t id = xcb_window_t(window->winId());
        const xcb_atom_t extents = internAtom(connection, "_NET_FRAME_EXTENTS");
        if (framedAndKept(window, margins))
            return true;
        if (rootSupports(connection, rootOf(connection, id), extents))
            return false;
    }
#endif
    *margins = ExpectedFrameMargins(window);
    return true;
}

// Watches a shown window until its frame is known: exposure, moves and resizes tell.
class FramingWatch : public QObject
{
public:
    FramingWatch(QWidget *window, std::function<void(const QMargins &)> framed)
        : QObject(window), m_window(window), m_framed(std::move(framed))
    {
        window->installEventFilter(this);
        window->windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::Hide) {
            deleteLater();
            return false;
        }
        QMargins margins;
        if ((type == QEvent::Expose || type == QEvent::Move || type == QEvent::Resize) && !m_done &&
            frameKnown(m_window, &margins)) {
            m_done = true;
            m_window->removeEventFilter(this);
            m_window->windowHandle()->removeEventFilter(this);
            m_framed(margins);
            deleteLater();
        }
        return false;
    }

private:
    QWidget *m_window;
    std::function<void(const QMargins &)> m_framed;
    bool m_done = false;
};

} // namespace

QMargins FramedMargins(QWidget *window)
{
#ifdef BOARD_HAVE_XCB
    QMargins margins;
    if (window->windowHandle() && framedAndKept(window, &margins))
        return margins;
#endif
    return ExpectedFrameMargins(window);
}

void WhenFramed(QWidget *window, std::function<void(const QMargins &)> framed)
{
    if (!window->windowHandle())
        return;
    QMargins margins;
    if (frameKnown(window, &margins)) {
        framed(margins);
        return;
    }
    new FramingWatch(window, std::move(framed));
}

namespace {

#ifdef BOARD_HAVE_XCB
// Some window managers hide the tool windows of an application that is not active (KWin), or
// raise their owner with them: a window standing on its own is not one of them.
void standApart(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_delete_property(connection, window, XCB_ATOM_WM_TRANSIENT_FOR);
    uint32_t hints[9];
    readWmHints(connection, window, hints);
    const uint32_t windowGroupHint = 1 << 6;
    hints[0] |= windowGroupHint;
    hints[8] = window;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS,
                        XCB_ATOM_WM_HINTS, 32, 9, hints);
    const xcb_atom_t leader = internAtom(connection, "WM_CLIENT_LEADER");
    if (leader != XCB_ATOM_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, leader, XCB_ATOM_WINDOW, 32,
                            1, &window);
    // Still a tool window of the program, as one with an owner.
    skipTaskbarAndPager(connection, window);
}
#endif

#ifdef BOARD_HAVE_XCB
// The reference point the window manager keeps when it puts a frame around the window.
void setGravity(xcb_connection_t *connection, xcb_window_t window, uint32_t gravity)
{
    constexpr uint32_t words = 18, gravityWord = 17, gravityFlag = 1 << 9;
    uint32_t hints[words] = {};
    PropertyReply reply(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, window, XCB_ATOM_WM_NORMAL_HINTS,
                                                XCB_ATOM_WM_SIZE_HINTS, 0, words),
                               nullptr));
    if (reply && reply->format == 32)
        std::memcpy(hints, xcb_get_property_value(reply.get()),
                    std::min<size_t>(sizeof hints, xcb_get_property_value_length(reply.get())));
    hints[0] |= gravityFlag;
    hints[gravityWord] = gravity;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, words, hints);
}
#endif

} // namespace

void ShowCentred(QWidget *window, const std::function<void()> &show)
{
#ifndef BOARD_HAVE_XCB
    QMargins frame;
    const bool known = false;
#endif
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect();
    auto centred = [&area](const QSize &size) {
        return area.topLeft() +
               QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2);
    };
#ifdef BOARD_HAVE_XCB
    // Not all honour centre gravity alike (openbox moves the frame by half its caption): the
    // frame's corner is placed where its size is known.
    QMargins frame;
    xcb_connection_t *connection = x11Connection();
    const bool known = connection && frameAnswered(window->windowFlags(), &frame);
    if (connection && !known) {
        window->move(centred(window->size()));
        const xcb_window_t id = xcb_window_t(window->winId());
        showAmended(connection, show,
                    [connection, id] { setGravity(connection, id, XCB_GRAVITY_CENTER); });
    } else
#endif
    {
        if (!known)
            frame = ExpectedFrameMargins(window);
        PlaceOuterRect(window, centred(window->size().grownBy(frame)), window->size(), frame);
        show();
    }
    // Kept once known: the next run places the frame's corner at once.
    WhenFramed(window, [](const QMargins &) {});
}

void ShowWithoutKeyboard(QWidget *window)
{
    window->setAttribute(Qt::WA_ShowWithoutActivating, true);
    window->winId();
    QWindow *handle = window->windowHandle();
    // Not to take input when mapped, which window managers that ignore the request above
    // (fluxbox) honour; it may take it again once the window is on screen.
    handle->setFlag(Qt::WindowDoesNotAcceptFocus, true);
#ifdef BOARD_HAVE_XCB
    if (xcb_connection_t *connection = x11Connection()) {
        showAmended(
            connection, [window] { window->show(); },
            [connection, window] { standApart(connection, xcb_window_t(window->winId())); });
    } else {
        window->show();
    }
#else
    window->show();
#endif
    WhenFramed(window, [handle](const QMargins &) {
        handle->setFlag(Qt::WindowDoesNotAcceptFocus, false);
    });
}

void ShowOutOfTaskBar(QWidget *window)
{
#ifdef BOARD_HAVE_XCB
    if (xcb_connection_t *connection = x11Connection()) {
        showAmended(
            connection, [window] { window->show(); },
            [connection, window] {
                skipTaskbarAndPager(connection, xcb_window_t(window->winId()));
            });
        return;
    }
#endif
    window->show();
}
