// What the X server itself says about a program's windows, for tests under a real window
// manager: the outer rectangle of the frame that the manager put around a window, and the
// stacking order of those frames.
#pragma once

#include <QRect>

class QWidget;
struct xcb_connection_t;

namespace X11Windows {

// The display is an X server on which a window manager has taken the screen (waits for it).
bool WindowManagerRunning(int timeoutMs = 5000);
// The rectangle, in root coordinates, of the window's ancestor just below the root: the window
// manager's frame, or the window itself when it has none.
QRect OuterRect(const QWidget *window);
// The window's own area in root coordinates.
QRect ClientRect(const QWidget *window);
// The place the program asked for in the window's size hints (WM_NORMAL_HINTS), if it did.
bool RequestedPosition(const QWidget *window, QPoint *position);
// The window manager keeps this state (_NET_WM_STATE_...) of the window, as it reads it.
bool HasState(const QWidget *window, const char *state);
// Position of the window's frame among the root's children, bottom first; -1 if none.
int StackingIndex(const QWidget *window);
// Waits until the window is mapped inside a frame and its outer rectangle has settled; first
// gets the outer rectangle seen when the framed window was first found mapped.
bool WaitForFrame(const QWidget *window, int timeoutMs = 5000, QRect *first = nullptr);

// A window of another X client, on a connection of its own: the program the user was typing into.
class ForeignWindow
{
public:
    explicit ForeignWindow(const QRect &rect);
    ~ForeignWindow();
    ForeignWindow(const ForeignWindow &) = delete;
    ForeignWindow &operator=(const ForeignWindow &) = delete;

    bool isValid() const { return m_window != 0; }
    // Asks the window manager to activate it, as a task bar would.
    void activate();
    bool hasInputFocus() const;
    // Its frame's place among the root's children, as StackingIndex.
    int stackingIndex() const;

private:
    xcb_connection_t *m_connection = nullptr;
    quint32 m_window = 0;
};

} // namespace X11Windows
