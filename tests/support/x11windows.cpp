#include "x11windows.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QList>
#include <QMargins>
#include <QTimer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace X11Windows {

namespace {

struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};
template<typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t *connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t root()
{
    xcb_connection_t *c = connection();
    if (!c)
        return xcb_window_t(XCB_WINDOW_NONE);
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The ancestor of window that is a direct child of the root.
xcb_window_t topAncestor(xcb_window_t window)
{
    xcb_connection_t *c = connection();
    while (c && window != XCB_WINDOW_NONE) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree)
            return XCB_WINDOW_NONE;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE)
            return window;
        window = tree->parent;
    }
    return XCB_WINDOW_NONE;
}

QRect rectOf(xcb_window_t window)
{
    xcb_connection_t *c = connection();
    if (!c || window == XCB_WINDOW_NONE)
        return QRect();
    Reply<xcb_get_geometry_reply_t> g(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    if (!g)
        return QRect();
    Reply<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, root(), 0, 0), nullptr));
    if (!t)
        return QRect();
    // Coordinates name the inside of the border; the border belongs to the outer rectangle.
    return QRect(t->dst_x - g->border_width, t->dst_y - g->border_width,
                 g->width + 2 * g->border_width, g->height + 2 * g->border_width);
}

xcb_atom_t atom(const char *name)
{
    xcb_connection_t *c = connection();
    Reply<xcb_intern_atom_reply_t> a(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return a ? a->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A window's property of 32-bit values; empty if it has none of that type.
QList<quint32> values32(xcb_window_t window, const char *name, xcb_atom_t type)
{
    xcb_connection_t *c = connection();
    if (!c)
        return {};
    Reply<xcb_get_property_reply_t> p(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom(name), type, 0, 64), nullptr));
    if (!p || p->format != 32 || p->type != type)
        return {};
    const auto *values = static_cast<const quint32 *>(xcb_get_property_value(p.get()));
    return QList<quint32>(values, values + xcb_get_property_value_length(p.get()) / 4);
}

bool mapped(xcb_window_t window)
{
    xcb_connection_t *c = connection();
    Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
}

} // namespace

bool WindowManagerRunning(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    do {
        if (values32(root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).size() == 1)
            return true;
        spin(20);
    } while (connection() && clock.elapsed() < timeoutMs);
    return false;
}

QRect OuterRect(const QWidget *window)
{
    const QRect outer = rectOf(topAncestor(xcb_window_t(window->winId())));
    // What the window manager draws, where its frame window also holds invisible borders to
    // resize by (mutter).
    const QList<quint32> e =
        values32(xcb_window_t(window->winId()), "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL);
    if (e.size() != 4)
        return outer;
    const QRect drawn = ClientRect(window).marginsAdded(QMargins(e[0], e[2], e[1], e[3]));
    return outer.contains(drawn) ? drawn : outer;
}

QRect ClientRect(const QWidget *window)
{
    return rectOf(xcb_window_t(window->winId()));
}

bool RequestedPosition(const QWidget *window, QPoint *position)
{
    const QList<quint32> hints =
        values32(xcb_window_t(window->winId()), "WM_NORMAL_HINTS", XCB_ATOM_WM_SIZE_HINTS);
    const quint32 userOrProgramPosition = 1 | 4;
    if (hints.size() < 3 || !(hints[0] & userOrProgramPosition))
        return false;
    *position = QPoint(qint32(hints[1]), qint32(hints[2]));
    return true;
}

bool HasState(const QWidget *window, const char *state)
{
    const QList<quint32> states =
        values32(xcb_window_t(window->winId()), "_NET_WM_STATE", XCB_ATOM_ATOM);
    return states.contains(atom(QByteArray("_NET_WM_STATE_").append(state).constData()));
}

namespace {

int stackingIndexOf(xcb_window_t window)
{
    xcb_connection_t *c = connection();
    const xcb_window_t frame = topAncestor(window);
    if (!c || frame == XCB_WINDOW_NONE)
        return -1;
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root()), nullptr));
    if (!tree)
        return -1;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        if (children[i] == frame)
            return i;
    }
    return -1;
}

} // namespace

int StackingIndex(const QWidget *window)
{
    return stackingIndexOf(xcb_window_t(window->winId()));
}

bool WaitForFrame(const QWidget *window, int timeoutMs, QRect *first)
{
    const xcb_window_t own = xcb_window_t(window->winId());
    QElapsedTimer clock;
    clock.start();
    QRect last;
    int steady = 0;
    while (clock.elapsed() < timeoutMs) {
        const xcb_window_t frame = topAncestor(own);
        // Some managers map a frame of 1 x 1 first, then grow it around the window.
        if (frame != own && frame != XCB_WINDOW_NONE && mapped(own) && mapped(frame) &&
            rectOf(frame).contains(rectOf(own))) {
            const QRect now = OuterRect(window);
            if (first && last.isNull())
                *first = now;
            steady = now == last ? steady + 1 : 0;
            last = now;
            if (steady >= 3)
                return true;
        }
        spin(10);
    }
    return false;
}

ForeignWindow::ForeignWindow(const QRect &rect)
{
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection))
        return;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    const xcb_window_t window = xcb_generate_id(m_connection);
    const uint32_t values[] = {screen->white_pixel};
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(rect.x()),
                      int16_t(rect.y()), uint16_t(rect.width()), uint16_t(rect.height()), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                      values);
    const char title[] = "Another program";
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, sizeof title - 1, title);
    // WM_HINTS: it takes keyboard input.
    const uint32_t hints[9] = {1, 1, 0, 0, 0, 0, 0, 0, 0};
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS,
                        XCB_ATOM_WM_HINTS, 32, 9, hints);
    xcb_map_window(m_connection, window);
    xcb_flush(m_connection);
    m_window = window;
}

ForeignWindow::~ForeignWindow()
{
    if (m_window)
        xcb_destroy_window(m_connection, m_window);
    if (m_connection) {
        xcb_flush(m_connection);
        xcb_disconnect(m_connection);
    }
}

void ForeignWindow::activate()
{
    if (!m_window)
        return;
    const xcb_atom_t active = atom("_NET_ACTIVE_WINDOW");
    if (active == XCB_ATOM_NONE)
        return;
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = m_window;
    event.type = active;
    event.data.data32[0] = 2; // from a pager or task bar: the user asked for it
    event.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_window_t rootWindow =
        xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    xcb_send_event(m_connection, 0, rootWindow,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(m_connection);
}

int ForeignWindow::stackingIndex() const
{
    return m_window ? stackingIndexOf(m_window) : -1;
}

bool ForeignWindow::hasInputFocus() const
{
    if (!m_window)
        return false;
    Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    return focus && focus->focus == m_window;
}

} // namespace X11Windows
