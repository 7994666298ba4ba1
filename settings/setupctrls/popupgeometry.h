#pragma once

#include "setupctrls_export.h"

#include <QPoint>
#include <QRect>
#include <QSize>

// The sizes a hotspot's popup is built with, in pixels. Outer sizes include the window frame.
namespace PopupGeometry {

// The popup's least outer width, and the width of a new content panel.
constexpr int OuterWidth = 194;
// The popup's least outer height.
constexpr int LeastOuterHeight = 122;
// Default height of the text area, "MemoHeight" of a content panel.
constexpr int MemoHeight = 58;
// Height of a new content panel.
constexpr int PanelHeight = 100;
// Room between a panel and its text area, and around the text area and the buttons.
constexpr int Gap = 6;
constexpr int ButtonWidth = 58;
constexpr int ButtonHeight = 25;
constexpr int StatusHeight = 19;
// From the panel's bottom to the text area's top: one pixel of air.
constexpr int PanelToMemo = 1;
// Below the text area: a gap, the button row and the status bar.
constexpr int BelowMemo = Gap + ButtonHeight + StatusHeight;
// What a popup without a panel allows above its text area for frame and caption.
constexpr int BareCaptionRoom = 33;
constexpr int BareOuterHeight = BareCaptionRoom + MemoHeight + BelowMemo;
// A popup without a panel opens this far below the board's window.
constexpr int BelowParent = 38;

// Moves a window of outer size outer at pos so that it lies inside a screen of size screen, each
// axis on its own: past the left or top edge it goes to 0, past the right or bottom edge it ends
// there.
SETUPCTRLS_EXPORT QPoint KeepOnScreen(QPoint pos, const QSize &outer, const QSize &screen);
// The same inside area, the part of the screen that no panel or task bar reserves.
SETUPCTRLS_EXPORT QPoint KeepOnScreen(QPoint pos, const QSize &outer, const QRect &area);

} // namespace PopupGeometry
