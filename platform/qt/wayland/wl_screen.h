#pragma once

// The screen, the pointer and the hot keys of the Linux program on a
// Wayland desktop. A client there sees no pixels but its own, no pointer
// outside its windows and no keys but those sent to its windows, so a pick
// freezes the screen: when the picker takes the mouse capture, every output
// is captured once and shown full-screen in a window of the program (the
// overlay), and the pick runs on that picture:
//  - a movement over an overlay is a movement of the pick, in the frozen
//    picture's physical pixels;
//  - the hot keys the program holds (the arrow keys of a pick) come from the
//    overlay, which has the keyboard; moving the pointer moves a virtual
//    pointer over the picture, which the next real movement brings back;
//  - a click on an overlay ends the pick as the button's release does, at
//    the virtual pointer when the real one has not moved since;
//  - Esc, or the overlay losing the keyboard to another program, ends it as
//    a lost capture does.
// The press that started the pick, and its release, belong to the
// program's window: nothing of them reaches the program once the overlay
// is up. The overlay covers the program's window too, so it shows the
// window live where its picture shows it frozen: the window's place on
// the output is where the pointer comes onto the overlay less where it
// last was in the window (a Wayland client is told no more).
//
// The frozen picture's coordinates: each output at its place in the
// compositor's layout times the largest output scale, so outputs keep their
// arrangement, never overlap, and each holds its own physical pixels.
// Outside a pick, the only pixels to read are the program's own.

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/qt/qt_services.h"

class QScreen;
class QWidget;

namespace tinctora::qtb {

// The hot keys of a Wayland client: the keys pressed while one of its
// windows (a pick's overlay) has the keyboard.
class WaylandHotKeys final : public platform::HotKeys {
 public:
  bool Register(WindowId owner, int nativeId, int modifiers, int virtualKey) override;
  bool Unregister(WindowId owner, int nativeId) override;
  // The hot key a key press with these modifier bits stands for.
  std::optional<QtHotKeys::Hit> Match(int modifiers, int virtualKey) const;

 private:
  std::map<std::pair<WindowId, int>, std::pair<int, int>> keys_;  // owner, id -> modifiers, key
};

// How a pick takes the screen: `TINCTORA_WAYLAND_CAPTURE` names one
// (screencopy, portal, pickcolor); unset, the first that works of
// screencopy, the portal's screenshot, the portal's colour picker. The
// last gives one colour and no picture: the pick reads that colour at the
// place it started, with no zoom, and the window's title says why.
enum class CaptureWay { Automatic, Screencopy, Portal, PickColour };

class FrozenView;
class LiveUpdates;

class WaylandScreen final : public platform::Screen {
 public:
  WaylandScreen(Registry& registry, QtWindows& windows, const WaylandHotKeys& hotKeys);
  ~WaylandScreen() override;
  std::vector<platform::Display> Displays() const override;
  colour::ColourValue PixelAt(Point screen) const override;
  bool ReadRect(const Rect& screen, Image& out) const override;
  int BitsPerPixel() const override { return 32; }
  std::optional<Point> CursorPos() const override;
  void SetCursorPos(Point screen) override;
  bool PrimaryButtonDown() const override;
  void SetCapture(WindowId window) override;
  void ReleaseCapture() override;
  WindowId Capture() const override { return registry_.capture; }
  int CursorSize(double scale) const override;
  CursorId CreateCursor(const gfx::CursorImage& image) override;
  void DestroyCursor(CursorId cursor) override;
  void SetWindowCursor(WindowId window, CursorId cursor) override;

  // The last pick's start: how the screen was taken, the milliseconds from
  // the capture's start to the picture and to the overlay's first painting.
  PickStart LastPickStart() const { return lastStart_; }

  // What the overlays report (FrozenView).
  enum class OverlayButton { None, Press, Release };
  void OverlayPointer(std::size_t output, QPointF local, OverlayButton button, Qt::KeyboardModifiers keys);
  void OverlayEntered(std::size_t output, QPointF at);
  void OverlayKey(int qtKey, Qt::KeyboardModifiers keys);
  void LiveWindowChanged();
  void PickWindowGone();
  void OverlayLost();
  void OverlayPainted();

 private:
  struct Frozen {
    QPointer<QScreen> screen;
    QRect logical;    // the output in the compositor's layout
    Rect bounds;      // in the frozen picture's physical pixels
    double scale = 1; // physical pixels a logical unit
    QImage picture;   // Format_RGB32, bounds' size
  };
  // Captures the outputs (or asks the portal) and puts the overlays up.
  void Freeze();
  void FreezeWith(std::vector<Frozen> outputs);
  void Thaw();
  void EndCaptureLost();
  void Deliver(platform::MouseAction action, Point at, Qt::KeyboardModifiers keys);
  const Frozen* OutputAt(Point at) const;
  bool Picking() const { return registry_.capture != 0 && (!frozen_.empty() || waiting_); }
  void FromPortal(const QImage& picture, const QString& why);
  void AskPortalColour();
  void TakeColourOnly(const QColor& colour);

  Registry& registry_;
  QtWindows& windows_;
  const WaylandHotKeys& hotKeys_;
  CaptureWay way_ = CaptureWay::Automatic;
  bool screencopyFailed_ = false;
  std::vector<Frozen> frozen_;
  std::vector<std::unique_ptr<FrozenView>> overlays_;
  bool waiting_ = false;  // for the portal's picture or colour
  std::optional<Pixel> colourOnly_;  // while the desktop's picked colour is read
  Point virtual_;         // the pick's pointer over the frozen picture
  std::optional<Point> pointerPixel_;  // the real pointer's pixel, last reported
  bool movePending_ = false;
  mutable double cursorScale_ = 1;  // the scale CursorSize was last asked for
  bool cursorOverridden_ = false;  // the pick's cursor set for the whole program
  QElapsedTimer started_;
  PickStart lastStart_;
  std::unique_ptr<QObject> context_;  // queued calls and signal connections
  std::unique_ptr<QObject> pickContext_;  // the current pick's portal requests
  std::uint64_t pick_ = 0;  // counts picks begun and ended: answers find theirs
  // The program's window the pick started in, shown live on an overlay once
  // its place there is known.
  QPointer<QWidget> pickWindow_;
  bool livePlaced_ = false;
  bool liveFramePending_ = false;
  std::unique_ptr<LiveUpdates> liveUpdates_;
};

}  // namespace tinctora::qtb
