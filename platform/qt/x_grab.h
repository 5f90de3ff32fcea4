#pragma once

// The pointer grab of a capture held by a custom-drawn window, made on the
// screen reader's connection, the backend's own: its motion and buttons
// are read on the main thread as the connection's socket becomes readable,
// every queued event at once and in order, and never pass through Qt's
// event reader. The screen's changes come on it too, in order with them.

#include <QCursor>
#include <QPoint>
#include <QSocketNotifier>

#include <map>
#include <memory>
#include <optional>

#include <xcb/xcb.h>

#include "platform/qt/qt_internal.h"
#include "platform/qt/x_events.h"

namespace tinctora::qtb {

class ScreenReader;

class PointerGrab {
 public:
  PointerGrab(Registry& registry, ScreenReader& reader);
  ~PointerGrab();
  PointerGrab(const PointerGrab&) = delete;
  PointerGrab& operator=(const PointerGrab&) = delete;

  // Grabs the pointer for the top-level X window `window`, the cursor shown
  // wherever the pointer goes; false when it cannot be had here (no
  // connection of its own, a cursor it cannot make, the pointer grabbed by
  // another client), and nothing is grabbed.
  bool Take(xcb_window_t window, CursorId id, const QCursor& cursor);
  // Ends the grab; the server has taken the release when this returns.
  void Release();
  bool Held() const { return held_; }
  // The program destroyed a cursor.
  void Forget(CursorId id);
  // Handles the events that came since the last display frame; the loop
  // calls it just before each frame.
  void TakeWaiting();

 private:
  void Readable();
  void Drain();
  xcb_cursor_t CursorOf(CursorId id, const QCursor& cursor);
  Registry& registry_;
  ScreenReader& reader_;
  xcb_connection_t* own_ = nullptr;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::uint32_t argbFormat_ = 0;  // Render's 32-bit ARGB picture format
  std::map<CursorId, xcb_cursor_t> cursors_;
  xcb_window_t window_ = XCB_NONE;
  QPoint windowOrigin_;  // the top left of Qt's window on the screen
  // Qt's selection of input events on its window, given back at the end.
  std::optional<InputSelection> quieted_;
  xcb_window_t quietWindow_ = XCB_NONE;
  bool held_ = false;
  bool draining_ = false;
  // The socket is left unwatched until the next frame, which handles what
  // came meanwhile.
  bool waiting_ = false;
  // The buttons Qt saw pressed when the grab began: their releases come
  // here, and Qt is sent each of them too, so its button state ends.
  Qt::MouseButtons qtHeld_;
};

}  // namespace tinctora::qtb
