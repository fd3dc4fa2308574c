#pragma once
// The frame a window manager will draw around a window, asked before the window is mapped.
// A window manager frames a window only after it is mapped and says nothing when it has, so a
// window sized before then is sized without its frame and must be sized again once the frame
// turns up: a second layout, a second paint, and on a start the picture drawn twice. The
// window managers of X11 (EWMH) answer _NET_REQUEST_FRAME_EXTENTS ahead of the map by setting
// _NET_FRAME_EXTENTS on the window, the frame they are about to draw.

#include <QMargins>
#include <optional>

class QWidget;

// Asks the window manager for the frame of `window` (a top-level whose native window exists
// and is not yet mapped) and waits for the answer, a few milliseconds at most. Empty on any
// other platform than X11, without a window manager, or when it does not offer the request.
std::optional<QMargins> AskFrameExtents(const QWidget& window);
