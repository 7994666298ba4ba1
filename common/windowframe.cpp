#include "windowframe.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
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

// Asks the window manager which frame it would give the unmapped window and waits for its answer.
bool requestFrameExtents(xcb_window_t window, QMargins *margins)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
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

// What the platform says of a native window that is not mapped.
QMargins unmappedFrameMargins(QWidget *window)
{
    const WId id = window->winId();
#ifdef BOARD_HAVE_XCB
    QMargins margins;
    if (QGuiApplication::platformName() == QLatin1String("xcb") &&
        requestFrameExtents(xcb_window_t(id), &margins))
        return margins;
#else
    Q_UNUSED(id);
#endif
    QWindow *handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

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
    QWidget probe(nullptr, window->windowFlags());
    return unmappedFrameMargins(&probe);
}

void PlaceOuterRect(QWidget *window, const QPoint &outerTopLeft, const QSize &client,
                    const QMargins &margins)
{
    // The client rectangle is what the platform places exactly; the frame goes around it.
    window->setGeometry(QRect(outerTopLeft + QPoint(margins.left(), margins.top()), client));
}
