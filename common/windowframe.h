// The frame and caption that the desktop puts around a top-level window.
#pragma once

#include <QMargins>
#include <QRect>
#include <Qt>

#include <functional>

class QWidget;

// The margins of the frame the window will get, known before it is first shown, so that its
// outer rectangle can be placed and kept on screen from the first showing on. Under X11 the
// window manager is asked (_NET_REQUEST_FRAME_EXTENTS); with no window manager, or on platforms
// that cannot tell, the answer is what the platform window knows, often none. A window without a
// native window yet keeps it that way, so that it can be created at its final place: some window
// managers (XWayland's in weston) take a window's place from its creation alone. Once the window
// is visible, the margins it really has.
QMargins ExpectedFrameMargins(QWidget *window);

// Asks the window manager in advance which frame it gives windows of this kind, so that the first
// one is placed without waiting for its answer.
void AskFrameInAdvance(Qt::WindowFlags flags);

// Where a compositing window manager runs, has it frame a transparent window of this kind owned by
// owner, never seen, whose frame then serves the real ones from the first on: some managers
// answer the frame request with another frame than they give (a normal window's for tool windows).
void MeasureFrameInAdvance(QWidget *owner, Qt::WindowFlags flags);

// Places window so that its outer rectangle, the frame given by margins included, has its
// top-left corner at outerTopLeft and the client area has size client. A window not created yet
// gets its frame's corner there whatever frame the window manager gives it.
void PlaceOuterRect(QWidget *window, const QPoint &outerTopLeft, const QSize &client,
                    const QMargins &margins);

// The frame a shown window really got, as the window manager states it, in logical pixels. Under
// X11, frames stated are kept for later windows of the same kind, also in later runs.
QMargins FramedMargins(QWidget *window);

// Calls framed with the frame the window really got, once it is on screen (at once if it is);
// a window whose frame differs from the one expected is corrected there, once.
void WhenFramed(QWidget *window, std::function<void(const QMargins &)> framed);

// Shows window, by calling show, for the first time with its outer window, frame and caption
// included, centred on the screen. Where the frame is known (stated in time when asked in advance,
// or seen by an earlier run under the same window manager) the frame's corner is placed; elsewhere
// the manager is asked to keep the client area's centre where it is (ICCCM centre gravity), which
// needs no answer from it.
void ShowCentred(QWidget *window, const std::function<void()> &show);

// Shows window without taking the keyboard from the application that has it, also under window
// managers that would give it the keyboard or hide it while its application is not active.
void ShowWithoutKeyboard(QWidget *window);

// Shows a tool window of the active application: no task of its own in task bars and pagers,
// which some window managers (fluxbox) give a window with an owner.
void ShowOutOfTaskBar(QWidget *window);
