// The Qt backend's harness. The user's keys are Qt events sent to the
// widget with the focus (QTest); the mouse is the X server's own, moved and
// pressed through the XTest extension at physical pixels, since Qt's own
// events carry whole logical units only. Other programs are other X
// clients: a second
// connection grabs keys and withdraws the program's window, xclip serves
// and reads the clipboard. It needs an X server (DISPLAY); the suite runs
// on a virtual one. The run's scale (TINCTORA_TEST_SCALE) is Qt's scale
// factor, set before the application starts.

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPalette>
#include <QProcess>
#include <QStandardPaths>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtTest/QTest>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <optional>
#include <vector>

#include "text/gbk.h"
#include "platform/qt/qt_platform.h"
#include "tests/contract/harness.h"

namespace tinctora::contract {
namespace {

QString FromGbk(TextView gbk) { return QString::fromStdString(text::GbkToUtf8(gbk)); }

// The one application of the test program, made with the first harness,
// set up as the program's main sets it up.
QApplication& Application() {
  static std::unique_ptr<QApplication> application = [] {
    qputenv("QT_QPA_PLATFORM", "xcb");
    if (TestScale() != 1.0) qputenv("QT_SCALE_FACTOR", QByteArray::number(TestScale()));
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    static int argc = 1;
    static char name[] = "contract_qt";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
  }();
  return *application;
}

Qt::Key QtKeyOf(int virtualKey) {
  switch (virtualKey) {
    case platform::KeyBackspace: return Qt::Key_Backspace;
    case platform::KeyTab: return Qt::Key_Tab;
    case platform::KeyReturn: return Qt::Key_Return;
    case platform::KeyEscape: return Qt::Key_Escape;
    case platform::KeyPageUp: return Qt::Key_PageUp;
    case platform::KeyPageDown: return Qt::Key_PageDown;
    case platform::KeyEnd: return Qt::Key_End;
    case platform::KeyHome: return Qt::Key_Home;
    case platform::KeyLeft: return Qt::Key_Left;
    case platform::KeyUp: return Qt::Key_Up;
    case platform::KeyRight: return Qt::Key_Right;
    case platform::KeyDown: return Qt::Key_Down;
    case platform::KeyDelete: return Qt::Key_Delete;
    default: return static_cast<Qt::Key>(virtualKey);  // digits and capital letters are the same
  }
}

// The X key symbol of the keys a test holds.
xcb_keysym_t KeySymOf(int virtualKey) {
  switch (virtualKey) {
    case platform::KeyLeft: return 0xFF51;
    case platform::KeyUp: return 0xFF52;
    case platform::KeyRight: return 0xFF53;
    case platform::KeyDown: return 0xFF54;
    default: break;
  }
  if (virtualKey >= 'A' && virtualKey <= 'Z') return static_cast<xcb_keysym_t>(virtualKey - 'A' + 'a');
  if (virtualKey >= '0' && virtualKey <= '9') return static_cast<xcb_keysym_t>(virtualKey);
  return 0;
}

std::uint16_t XModifiers(int modifiers) {
  std::uint16_t mask = 0;
  if (modifiers & platform::ModCtrl) mask |= XCB_MOD_MASK_CONTROL;
  if (modifiers & platform::ModShift) mask |= XCB_MOD_MASK_SHIFT;
  if (modifiers & platform::ModAlt) mask |= XCB_MOD_MASK_1;
  return mask;
}

constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

// Another X client.
class OtherClient {
 public:
  OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(connection_) == 0) {
      root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
      symbols_ = xcb_key_symbols_alloc(connection_);
    }
  }
  ~OtherClient() {
    if (painted_ != XCB_NONE) {
      xcb_destroy_window(connection_, painted_);
      std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
    if (symbols_ != nullptr) xcb_key_symbols_free(symbols_);
    xcb_disconnect(connection_);
  }
  OtherClient(const OtherClient&) = delete;
  OtherClient& operator=(const OtherClient&) = delete;

  bool GrabKey(int modifiers, int virtualKey, bool grab) {
    if (symbols_ == nullptr) return false;
    const std::vector<xcb_keycode_t> codes = Keycodes(virtualKey);
    if (codes.empty()) return false;
    bool all = true;
    for (const xcb_keycode_t code : codes) {
      for (const std::uint16_t lock : kLockVariants) {
        const std::uint16_t mask = XModifiers(modifiers) | lock;
        const xcb_void_cookie_t cookie =
            grab ? xcb_grab_key_checked(connection_, 1, root_, mask, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)
                 : xcb_ungrab_key_checked(connection_, code, root_, mask);
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
          all = false;
          std::free(error);
        }
      }
    }
    return all;
  }

  // Withdraws a window of the program, as a window manager or another
  // program may: a pointer grab held in it ends.
  void Withdraw(xcb_window_t window) {
    xcb_unmap_window(connection_, window);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  // The pointer moved, a button pressed or released, as the user does.
  void Pointer(std::uint8_t type, std::uint8_t button, int x, int y) {
    xcb_test_fake_input(connection_, type, button, XCB_CURRENT_TIME, root_, static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  // A window of this client's over a rectangle of the screen, painted all
  // in one colour (made on first use, kept above the others).
  bool Paint(const gfx::Rect& screen, std::uint32_t rgb) {
    if (xcb_connection_has_error(connection_) != 0) return false;
    const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    if (s->root_depth != 24) return false;
    if (painted_ == XCB_NONE) {
      painted_ = xcb_generate_id(connection_);
      const std::uint32_t values[] = {s->black_pixel, 1};
      xcb_create_window(connection_, XCB_COPY_FROM_PARENT, painted_, root_, static_cast<std::int16_t>(screen.left),
                        static_cast<std::int16_t>(screen.top), static_cast<std::uint16_t>(screen.Width()),
                        static_cast<std::uint16_t>(screen.Height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual,
                        XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
      xcb_map_window(connection_, painted_);
      gc_ = xcb_generate_id(connection_);
      xcb_create_gc(connection_, gc_, painted_, 0, nullptr);
    }
    xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &rgb);
    const xcb_rectangle_t all{0, 0, static_cast<std::uint16_t>(screen.Width()), static_cast<std::uint16_t>(screen.Height())};
    xcb_poly_fill_rectangle(connection_, painted_, gc_, 1, &all);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    return true;
  }

  QPoint PointerAt() {
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    const QPoint at = reply != nullptr ? QPoint(reply->root_x, reply->root_y) : QPoint(-1, -1);
    std::free(reply);
    return at;
  }

  void WarpPointer(int x, int y) {
    xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, static_cast<std::int16_t>(x),
                     static_cast<std::int16_t>(y));
    // Done once the server has answered a later request.
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

 private:
  std::vector<xcb_keycode_t> Keycodes(int virtualKey) {
    std::vector<xcb_keycode_t> codes;
    const xcb_keysym_t symbol = KeySymOf(virtualKey);
    if (symbol == 0) return codes;
    if (xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols_, symbol)) {
      for (const xcb_keycode_t* k = found; *k != XCB_NO_SYMBOL; ++k) codes.push_back(*k);
      std::free(found);
    }
    return codes;
  }

  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
  xcb_key_symbols_t* symbols_ = nullptr;
  xcb_window_t painted_ = XCB_NONE;
  xcb_gcontext_t gc_ = 0;
};

class QtHarness final : public Harness {
 public:
  QtHarness() : system_(tinctora::qtb::QtSystem::Create()) {}
  ~QtHarness() override { RestoreColours(); }
  bool Ready() const { return system_ != nullptr; }

  platform::Platform Services() override { return system_->Services(); }

  void Run(int ms) override {
    QEventLoop loop;
    QTimer::singleShot(std::max(0, ms), &loop, &QEventLoop::quit);
    loop.exec();
  }

  void Type(TextView character) override {
    const QString text = FromGbk(character);
    const Qt::Key key = text.size() == 1 && text[0].unicode() < 0x80 ? static_cast<Qt::Key>(text[0].toUpper().unicode())
                                                                      : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Click, KeyTarget(), key, text, Qt::NoModifier);
  }

  void Key(int virtualKey) override {
    QTest::sendKeyEvent(QTest::Click, KeyTarget(), QtKeyOf(virtualKey), QString(), Qt::NoModifier);
  }

  void Paste(TextView text) override {
    const QString wanted = FromGbk(text);
    if (!xclip_.isEmpty()) {
      // Another program takes the clipboard; the key comes once it holds it.
      QProcess xclip;
      xclip.start(xclip_, {"-selection", "clipboard"});
      xclip.write(wanted.toUtf8());
      xclip.closeWriteChannel();
      WaitFor(xclip);
      QElapsedTimer waited;
      waited.start();
      while (QGuiApplication::clipboard()->text() != wanted && waited.elapsed() < 3000) Run(10);
    } else {
      QGuiApplication::clipboard()->setText(wanted);
    }
    QTest::sendKeyEvent(QTest::Click, KeyTarget(), Qt::Key_V, QString(), Qt::ControlModifier);
  }

  void Click(WindowId window, Point client) override {
    const QPoint global = Global(window, client);
    // Clicks come apart in time: two close to each other soon after each
    // other would make a double click.
    static QElapsedTimer lastClick;
    if (lastClick.isValid()) {
      while (lastClick.elapsed() <= QGuiApplication::styleHints()->mouseDoubleClickInterval()) Run(10);
    }
    // A pointer already there makes no movement.
    if (other_.PointerAt() != global) {
      Deliver(QEvent::MouseMove, [&] { other_.Pointer(XCB_MOTION_NOTIFY, 0, global.x(), global.y()); });
    }
    Deliver(QEvent::MouseButtonPress, [&] { other_.Pointer(XCB_BUTTON_PRESS, 1, global.x(), global.y()); });
    Deliver(QEvent::MouseButtonRelease, [&] { other_.Pointer(XCB_BUTTON_RELEASE, 1, global.x(), global.y()); });
    lastClick.start();
  }

  bool MoveThenMoveOn(WindowId window, Point client, Point then) override {
    const QPoint global = Global(window, client);
    // The pointer goes on once Qt has the movement and before the program
    // handles it, as when the program is busy. (Qt merges movements it
    // finds waiting together, so the second cannot simply follow the first.)
    const QPoint onward = Global(window, then);
    Deliver(
        QEvent::MouseMove, [&] { other_.Pointer(XCB_MOTION_NOTIFY, 0, global.x(), global.y()); },
        [&] { other_.WarpPointer(onward.x(), onward.y()); });
    return true;
  }

  // The left button pressed at a point of the screen, the pointer brought
  // there first; both delivered.
  void PressAt(const QPoint& start) {
    if (other_.PointerAt() != start) {
      Deliver(QEvent::MouseMove, [&] { other_.Pointer(XCB_MOTION_NOTIFY, 0, start.x(), start.y()); });
    }
    Deliver(QEvent::MouseButtonPress, [&] { other_.Pointer(XCB_BUTTON_PRESS, 1, start.x(), start.y()); });
  }

  bool Drag(WindowId window, Point from, const std::vector<Point>& path) override {
    if (path.empty()) return false;
    PressAt(Global(window, from));
    // The movements and the release need not pass through Qt's events: they
    // are sent as the user makes them, and handled as they come.
    for (const Point& client : path) {
      const QPoint at = Global(window, client);
      other_.Pointer(XCB_MOTION_NOTIFY, 0, at.x(), at.y());
    }
    const QPoint end = Global(window, path.back());
    other_.Pointer(XCB_BUTTON_RELEASE, 1, end.x(), end.y());
    Run(100);
    return true;
  }

  bool DragStepwise(WindowId window, Point from, const std::vector<Point>& path,
                    const std::function<void(std::size_t)>& between) override {
    if (path.empty()) return false;
    PressAt(Global(window, from));
    for (std::size_t i = 0; i < path.size(); ++i) {
      const QPoint at = Global(window, path[i]);
      other_.Pointer(XCB_MOTION_NOTIFY, 0, at.x(), at.y());
      Run(60);
      between(i);
    }
    const QPoint end = Global(window, path.back());
    other_.Pointer(XCB_BUTTON_RELEASE, 1, end.x(), end.y());
    Run(100);
    return true;
  }

  bool PaintOtherWindow(const gfx::Rect& screen, gfx::Pixel colour) override {
    const std::uint32_t rgb = ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
    if (!other_.Paint(screen, rgb)) return false;
    Run(20);
    return true;
  }

  void StealCapture() override {
    // The window that holds the grab stops being viewable.
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->isVisible() && top->windowType() == Qt::Window) other_.Withdraw(static_cast<xcb_window_t>(top->winId()));
    }
  }

  bool HoldDisplayWhile(int ms, const std::function<void()>& meanwhile) override {
    // A client of its own grabs the server and lets it go from a thread of
    // its own, while this one is held up in what it sends meanwhile.
    xcb_connection_t* holder = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(holder) != 0) {
      xcb_disconnect(holder);
      return false;
    }
    const auto sync = [holder] {
      std::free(xcb_get_input_focus_reply(holder, xcb_get_input_focus(holder), nullptr));
    };
    xcb_grab_server(holder);
    sync();
    std::thread release([holder, ms, sync] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      xcb_ungrab_server(holder);
      sync();
    });
    meanwhile();
    release.join();
    xcb_disconnect(holder);
    return true;
  }

  bool HoldHotKey(int modifiers, int virtualKey) override { return other_.GrabKey(modifiers, virtualKey, true); }
  void ReleaseHotKey(int modifiers, int virtualKey) override { other_.GrabKey(modifiers, virtualKey, false); }

  bool ChangeColours() override {
    // The desktop's palette changes, as a platform theme changes it.
    if (!saved_) saved_ = QApplication::palette();
    QPalette changed = *saved_;
    const QColor face = saved_->color(QPalette::Window) == QColor(0x20, 0x30, 0x40) ? QColor(0x40, 0x30, 0x20)
                                                                                     : QColor(0x20, 0x30, 0x40);
    changed.setColor(QPalette::Window, face);
    changed.setColor(QPalette::WindowText, QColor(0xFF, 0xFF, 0x00));
    QApplication::setPalette(changed);
    return true;
  }
  void RestoreColours() override {
    if (!saved_) return;
    QApplication::setPalette(*saved_);
    saved_.reset();
  }

  std::optional<Text> ClipboardText() override {
    if (xclip_.isEmpty()) {
      const QString text = QGuiApplication::clipboard()->text();
      if (text.isNull()) return std::nullopt;
      return text::Utf8ToGbk(text.toStdString());
    }
    // The program serves the clipboard from its event loop while another
    // program reads it.
    QProcess xclip;
    xclip.start(xclip_, {"-o", "-selection", "clipboard", "-t", "UTF8_STRING"});
    xclip.closeWriteChannel();
    if (!WaitFor(xclip) || xclip.exitCode() != 0) return std::nullopt;
    return text::Utf8ToGbk(xclip.readAllStandardOutput().toStdString());
  }

 private:
  // A point of a window's client area on the screen, physical.
  QPoint Global(WindowId window, Point client) {
    const gfx::Rect rect = system_->Services().windows->ClientRect(window);
    return {rect.left + client.x, rect.top + client.y};
  }

  // Does what the user does, then runs the loop until Qt has handed a
  // mouse event of the type to a widget (two seconds at most).
  // `first` runs when that event has come, before any widget sees it.
  template <class Act>
  void Deliver(QEvent::Type type, Act&& act, std::function<void()> first = {}) {
    MouseWatch watch(type, std::move(first));
    act();
    QElapsedTimer waited;
    waited.start();
    while (!watch.seen && waited.elapsed() < 2000) Run(2);
  }

  // Notes the first mouse event of a type that reaches a widget.
  class MouseWatch : public QObject {
   public:
    MouseWatch(QEvent::Type type, std::function<void()> first) : type_(type), first_(std::move(first)) {
      qApp->installEventFilter(this);
    }
    ~MouseWatch() override { qApp->removeEventFilter(this); }
    bool seen = false;

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
      const QEvent::Type type = event->type() == QEvent::MouseButtonDblClick ? QEvent::MouseButtonPress : event->type();
      if (type != type_ || !watched->isWidgetType() || seen) return false;
      seen = true;
      if (first_) first_();
      return false;
    }

   private:
    QEvent::Type type_;
    std::function<void()> first_;
  };

  // The widget with the keyboard focus, or the one that gets it when its
  // window is next active.
  static QWidget* KeyTarget() {
    if (QWidget* focus = QApplication::focusWidget()) return focus;
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->isVisible() && top->focusWidget() != nullptr) return top->focusWidget();
    }
    return QApplication::activeWindow();
  }

  // Runs the event loop until the process ends (5 seconds at most).
  bool WaitFor(QProcess& process) {
    QElapsedTimer waited;
    waited.start();
    while (process.state() != QProcess::NotRunning && waited.elapsed() < 5000) {
      Run(5);
      process.waitForFinished(1);
    }
    return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
  }

  std::unique_ptr<tinctora::qtb::QtSystem> system_;
  OtherClient other_;
  QString xclip_ = QStandardPaths::findExecutable("xclip");
  // The application's palette before ChangeColours.
  std::optional<QPalette> saved_;
};

}  // namespace

std::unique_ptr<Harness> MakeHarness() {
  Application();
  auto harness = std::make_unique<QtHarness>();
  if (!harness->Ready()) return nullptr;
  return harness;
}

}  // namespace tinctora::contract
