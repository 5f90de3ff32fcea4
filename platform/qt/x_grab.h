#pragma once

// The pointer grab of a capture held by a custom-drawn window, made on a
// connection of the backend's own: its motion and buttons are read on the
// main thread as the connection's socket becomes readable, every queued
// event at once and in order, and never pass through Qt's event reader.

#include <QCursor>
#include <QSocketNotifier>

#include <map>
#include <memory>

#include <xcb/xcb.h>

#include "platform/qt/qt_internal.h"

namespace tinctora::qtb {

class PointerGrab {
 public:
  explicit PointerGrab(Registry& registry);
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

 private:
  void Drain();
  xcb_cursor_t CursorOf(CursorId id, const QCursor& cursor);
  Registry& registry_;
  xcb_connection_t* own_ = nullptr;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::uint32_t argbFormat_ = 0;  // Render's 32-bit ARGB picture format
  std::map<CursorId, xcb_cursor_t> cursors_;
  xcb_window_t window_ = XCB_NONE;
  bool held_ = false;
  // The buttons Qt saw pressed when the grab began: their releases come
  // here, and Qt is sent each of them too, so its button state ends.
  Qt::MouseButtons qtHeld_;
};

}  // namespace tinctora::qtb
