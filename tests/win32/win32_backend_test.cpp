// The Win32 backend against the seam's contract: which native messages
// reach the sink, which program writes raise what, what edit boxes offer to
// the program, the capture, the clipboard and the hot keys. Messages are
// sent to the real windows as the system would send them. Checks that read
// pixels back need a screen (Wine with an X display, or Windows) and are
// skipped without one.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace tinctora::win32 {
namespace {

using gfx::Image;
using gfx::Pixel;
using gfx::Point;
using gfx::Rect;
using platform::WindowId;

// Records what the backend tells the program and answers as a test says.
class RecordingSink final : public platform::EventSink {
 public:
  struct Offer {
    WindowId box = 0;
    Text text;
    std::size_t kept = 0;
    platform::Insertion how = platform::Insertion::Typed;
  };

  std::vector<std::string> log;
  std::vector<Offer> offers;
  std::vector<platform::MouseMessage> mice;
  std::vector<platform::ScrollCode> scrolls;
  std::vector<std::pair<WindowId, int>> keys;
  // The number of bytes an edit box takes of each offer.
  std::function<std::size_t(const Offer&)> accept = [](const Offer& o) { return o.text.size(); };
  bool passMouse = true;
  // What the program presents for each custom-drawn window.
  std::map<WindowId, Pixel> fills;
  platform::Windows* windows = nullptr;

  int Count(const std::string& entry) const {
    int n = 0;
    for (const std::string& e : log) n += e == entry;
    return n;
  }

  bool OnMouse(const platform::MouseMessage& message) override {
    mice.push_back(message);
    return passMouse;
  }
  void OnCaptureLost(WindowId window) override { log.push_back("lost " + std::to_string(window)); }
  void OnEditChanged(WindowId box) override { log.push_back("changed " + std::to_string(box)); }
  std::size_t AcceptedBytes(WindowId box, TextView text, std::size_t kept, platform::Insertion how) override {
    offers.push_back({box, Text(text), kept, how});
    return accept(offers.back());
  }
  void OnSliderScroll(WindowId slider, platform::ScrollCode code) override { scrolls.push_back(code); }
  void BeforeInput(WindowId control) override { log.push_back("input " + std::to_string(control)); }
  void OnFrame() override { log.push_back("frame"); }
  void OnActivate(WindowId top, bool active) override {}
  bool OnKeyDown(WindowId focus, int virtualKey) override {
    keys.emplace_back(focus, virtualKey);
    return true;
  }
  void OnCloseRequested(WindowId top) override { log.push_back("close"); }
  void OnDestroyed(WindowId top) override { log.push_back("destroyed"); }
  void OnHotKey(WindowId owner, int nativeId) override {}
  void OnCommand(WindowId owner, int command) override { log.push_back("command " + std::to_string(command)); }
  void OnPaint(WindowId surface) override {
    const Rect client = windows->ClientRect(surface);
    const auto it = fills.find(surface);
    windows->Present(surface, Image(client.Width(), client.Height(), it != fills.end() ? it->second : 0));
  }
  void OnPopupDismissed(WindowId popup) override {}
};

HWND Hwnd(WindowId id) { return reinterpret_cast<HWND>(id); }

std::wstring NativeText(WindowId id) {
  wchar_t buffer[256] = {};
  GetWindowTextW(Hwnd(id), buffer, 256);
  return buffer;
}

class Win32BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    system = Win32System::Create();
    ASSERT_NE(system, nullptr);
    p = system->Services();
    sink.windows = p.windows;
    p.windows->SetSink(&sink);
    platform::TopLevelSpec params;
    params.caption = "test";
    params.outerWidth = 613;
    params.outerHeight = 430;
    params.minimiseBox = true;
    top = p.windows->CreateTopLevel(params);
    if (top == 0) GTEST_SKIP() << "the system makes no windows here";
  }
  void TearDown() override {
    if (p.windows != nullptr) p.windows->SetSink(nullptr);
  }

  WindowId Child(platform::NativeKind kind, const Rect& bounds, WindowId parent = 0) {
    platform::ChildSpec params;
    params.kind = kind;
    params.bounds = bounds;
    params.border = true;
    params.tabStop = true;
    params.slider.maximum = 255;
    params.slider.position = 1;
    params.slider.tickFrequency = 15;
    const WindowId id = p.windows->CreateChild(parent != 0 ? parent : top, params);
    p.windows->SetVisible(id, true);
    return id;
  }

  void Show() {
    const Rect outer = p.windows->WindowRect(top);
    p.windows->SetBounds(top, {100, 100, 100 + outer.Width(), 100 + outer.Height()});
    p.windows->Show(top);
    p.loop->ProcessPending();
  }

  // Whether what is presented can be read back from the screen here.
  bool ScreenReadable(WindowId surface) {
    sink.fills[surface] = gfx::RgbHex(0x123456);
    p.windows->Invalidate(surface);
    p.windows->UpdateNow(top);
    return p.windows->VisiblePixel(surface, {2, 2}) == gfx::RgbHex(0x123456);
  }

  std::unique_ptr<Win32System> system;
  platform::Platform p;
  RecordingSink sink;
  WindowId top = 0;
};

TEST_F(Win32BackendTest, TheTopLevelTakesItsOuterSizeAndStaysHiddenUntilShown) {
  const Rect outer = p.windows->WindowRect(top);
  EXPECT_EQ(outer.Width(), 613);
  EXPECT_EQ(outer.Height(), 430);
  const Rect client = p.windows->ClientRect(top);
  EXPECT_LT(client.Width(), 613);
  EXPECT_LT(client.Height(), 430);
  EXPECT_GE(client.left, outer.left);
  EXPECT_FALSE(IsWindowVisible(Hwnd(top)));
  const LONG style = GetWindowLongW(Hwnd(top), GWL_STYLE);
  const LONG exStyle = GetWindowLongW(Hwnd(top), GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(exStyle & WS_EX_TOPMOST);
}

TEST_F(Win32BackendTest, TextsCrossAsGbkAndUtf16) {
  p.windows->SetCaption(top, "\xC8\xA1\xC9\xAB");  // 取色
  EXPECT_EQ(NativeText(top), L"\u53D6\u8272");
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  p.windows->SetEditText(box, "\xD6\xD0" "1");  // 中1
  EXPECT_EQ(NativeText(box), L"\u4E2D" L"1");
  EXPECT_EQ(p.windows->EditText(box), "\xD6\xD0" "1");
}

TEST_F(Win32BackendTest, AProgramWriteIsNeverReportedNorCut) {
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  const std::string changed = "changed " + std::to_string(box);
  p.windows->SetEditText(box, "12");
  p.windows->SetEditText(box, "12");
  EXPECT_EQ(sink.Count(changed), 0);
  // Far past the edit control's default limit of 30000 characters.
  const Text longText(40000, '7');
  p.windows->SetEditText(box, longText);
  EXPECT_EQ(p.windows->EditText(box), longText);
  EXPECT_EQ(sink.Count(changed), 0);
  EXPECT_TRUE(sink.offers.empty());
}

TEST_F(Win32BackendTest, ATypedCharacterIsOfferedAndARefusedOneChangesNothing) {
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  p.windows->SetEditText(box, "12");
  sink.log.clear();
  sink.accept = [](const RecordingSink::Offer&) { return std::size_t{0}; };
  SendMessageW(Hwnd(box), WM_CHAR, 'x', 0);
  ASSERT_EQ(sink.offers.size(), 1u);
  EXPECT_EQ(sink.offers[0].text, "x");
  EXPECT_EQ(sink.offers[0].kept, 2u);
  EXPECT_EQ(sink.offers[0].how, platform::Insertion::Typed);
  EXPECT_EQ(p.windows->EditText(box), "12");
  EXPECT_EQ(sink.Count("changed " + std::to_string(box)), 0);

  sink.accept = [](const RecordingSink::Offer& o) { return o.text.size(); };
  SendMessageW(Hwnd(box), WM_CHAR, 0x4E2D, 0);  // 中: two GBK bytes
  ASSERT_EQ(sink.offers.size(), 2u);
  EXPECT_EQ(sink.offers[1].text, "\xD6\xD0");
  EXPECT_EQ(p.windows->EditText(box), "12\xD6\xD0");
  EXPECT_EQ(sink.Count("changed " + std::to_string(box)), 1);

  // Editing keys are no insertion.
  SendMessageW(Hwnd(box), WM_CHAR, VK_BACK, 0);
  EXPECT_EQ(sink.offers.size(), 2u);
  EXPECT_EQ(p.windows->EditText(box), "12");
}

TEST_F(Win32BackendTest, APasteOffersTheWholeClipboardText) {
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  p.windows->SetEditText(box, "0");
  ASSERT_TRUE(OpenClipboard(Hwnd(top)));
  ASSERT_TRUE(EmptyClipboard());
  const wchar_t text[] = L"98765";
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
  std::memcpy(GlobalLock(memory), text, sizeof text);
  GlobalUnlock(memory);
  ASSERT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
  CloseClipboard();

  SendMessageW(Hwnd(box), EM_SETSEL, 0, -1);
  sink.accept = [](const RecordingSink::Offer&) { return std::size_t{3}; };
  SendMessageW(Hwnd(box), WM_PASTE, 0, 0);
  ASSERT_EQ(sink.offers.size(), 1u);
  EXPECT_EQ(sink.offers[0].text, "98765");
  EXPECT_EQ(sink.offers[0].kept, 0u);
  EXPECT_EQ(sink.offers[0].how, platform::Insertion::Pasted);
  EXPECT_EQ(p.windows->EditText(box), "987");
}

TEST_F(Win32BackendTest, AReadOnlyBoxOffersNothing) {
  platform::ChildSpec params;
  params.kind = platform::NativeKind::EditBox;
  params.bounds = {10, 10, 80, 30};
  params.edit.readOnly = true;
  params.edit.align = platform::TextAlign::Centre;
  const WindowId box = p.windows->CreateChild(top, params);
  EXPECT_TRUE(GetWindowLongW(Hwnd(box), GWL_STYLE) & ES_CENTER);
  SendMessageW(Hwnd(box), WM_CHAR, '5', 0);
  SendMessageW(Hwnd(box), WM_PASTE, 0, 0);
  EXPECT_TRUE(sink.offers.empty());
  p.windows->SetEditText(box, "123");
  EXPECT_EQ(p.windows->EditText(box), "123");
}

TEST_F(Win32BackendTest, ASliderWriteRaisesNothingAndAKeyRaisesItsCode) {
  const WindowId slider = Child(platform::NativeKind::Slider, {10, 40, 153, 76});
  EXPECT_EQ(p.windows->SliderPosition(slider), 1);
  p.windows->SetSliderPosition(slider, 300);
  EXPECT_EQ(p.windows->SliderPosition(slider), 255);
  p.windows->SetSliderPosition(slider, 20);
  EXPECT_TRUE(sink.scrolls.empty());
  SendMessageW(Hwnd(slider), WM_KEYDOWN, VK_RIGHT, 0);
  SendMessageW(Hwnd(slider), WM_KEYUP, VK_RIGHT, 0);
  EXPECT_EQ(p.windows->SliderPosition(slider), 21);
  ASSERT_FALSE(sink.scrolls.empty());
  EXPECT_EQ(sink.scrolls.front(), platform::ScrollCode::LineDown);
  EXPECT_EQ(sink.scrolls.back(), platform::ScrollCode::EndScroll);
  EXPECT_EQ(SendMessageW(Hwnd(slider), TBM_GETPAGESIZE, 0, 0), 5);
}

TEST_F(Win32BackendTest, MouseMessagesReachTheSinkFirstWithSignedCoordinates) {
  const WindowId surface = Child(platform::NativeKind::Surface, {10, 10, 48, 48});
  SendMessageW(Hwnd(surface), WM_MOUSEMOVE, MK_SHIFT, MAKELPARAM(-5, 7));
  SendMessageW(Hwnd(surface), WM_LBUTTONDBLCLK, MK_LBUTTON | MK_CONTROL, MAKELPARAM(3, 4));
  SendMessageW(Hwnd(surface), WM_RBUTTONUP, 0, MAKELPARAM(3, 4));
  ASSERT_EQ(sink.mice.size(), 3u);
  EXPECT_EQ(sink.mice[0].target, surface);
  EXPECT_EQ(sink.mice[0].action, platform::MouseAction::Move);
  EXPECT_EQ(sink.mice[0].client, (Point{-5, 7}));
  EXPECT_EQ(sink.mice[0].keys, platform::ModShift);
  // A double click is a press.
  EXPECT_EQ(sink.mice[1].action, platform::MouseAction::LeftDown);
  EXPECT_EQ(sink.mice[1].keys, platform::ModCtrl);
  EXPECT_EQ(sink.mice[2].action, platform::MouseAction::RightUp);
}

TEST_F(Win32BackendTest, AMouseMessageTheProgramKeepsNeverReachesTheControl) {
  Show();
  const WindowId other = Child(platform::NativeKind::EditBox, {10, 40, 80, 60});
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  p.windows->SetFocus(other);
  if (p.windows->Focus() != other) GTEST_SKIP() << "no keyboard focus here";
  sink.passMouse = false;
  SendMessageW(Hwnd(box), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(Hwnd(box), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(p.windows->Focus(), other);
  sink.passMouse = true;
  SendMessageW(Hwnd(box), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(Hwnd(box), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(p.windows->Focus(), box);
}

TEST_F(Win32BackendTest, OnlyACaptureTakenAwayIsReportedLost) {
  Show();
  const WindowId a = Child(platform::NativeKind::Surface, {10, 10, 48, 48});
  const WindowId b = Child(platform::NativeKind::Surface, {60, 10, 98, 48});
  p.screen->SetCapture(a);
  EXPECT_EQ(p.screen->Capture(), a);
  p.screen->SetCapture(b);
  EXPECT_EQ(sink.log, std::vector<std::string>{"lost " + std::to_string(a)});
  p.screen->ReleaseCapture();
  EXPECT_EQ(p.screen->Capture(), 0u);
  EXPECT_EQ(sink.log.size(), 1u);
  // Another window of the thread takes it.
  p.screen->SetCapture(a);
  SetCapture(Hwnd(top));
  EXPECT_EQ(sink.log.back(), "lost " + std::to_string(a));
  ReleaseCapture();
}

TEST_F(Win32BackendTest, TheClipboardTakesGbkTextOnlyAfterEmpty) {
  platform::Clipboard& clipboard = *p.clipboard;
  platform::Clipboard::BlockHandle early = clipboard.Allocate(3);
  ASSERT_NE(early, nullptr);
  ASSERT_TRUE(clipboard.Open());
  EXPECT_FALSE(clipboard.SetText(std::move(early)));
  ASSERT_TRUE(clipboard.Empty());
  platform::Clipboard::BlockHandle block = clipboard.Allocate(7);
  ASSERT_NE(block, nullptr);
  const std::span<std::uint8_t> bytes = block->Bytes();
  ASSERT_EQ(bytes.size(), 7u);
  EXPECT_EQ(bytes[6], 0);
  std::memcpy(bytes.data(), "3366CC", 6);
  EXPECT_TRUE(clipboard.SetText(std::move(block)));
  clipboard.Close();

  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_TEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(data)), "3366CC");
  GlobalUnlock(data);
  CloseClipboard();
}

TEST_F(Win32BackendTest, AHotKeyHeldElsewhereIsRefused) {
  const int key = VK_F9;
  const int modifiers = platform::ModCtrl | platform::ModShift | platform::ModAlt;
  ASSERT_TRUE(p.hotKeys->Register(top, 1, modifiers, key));
  EXPECT_FALSE(p.hotKeys->Register(top, 2, modifiers, key));
  EXPECT_TRUE(p.hotKeys->Unregister(top, 1));
  EXPECT_FALSE(p.hotKeys->Unregister(top, 1));
  // The key is free again.
  EXPECT_TRUE(p.hotKeys->Register(top, 3, modifiers, key));
  EXPECT_TRUE(p.hotKeys->Unregister(top, 3));
}

TEST_F(Win32BackendTest, ACommandArrivesFromTheLoop) {
  p.loop->PostCommand(top, 4);
  EXPECT_TRUE(sink.log.empty());
  p.loop->ProcessPending();
  EXPECT_EQ(sink.Count("command 4"), 1);
}

TEST_F(Win32BackendTest, EscapeInAnEditBoxReachesTheProgram) {
  Show();
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  p.windows->SetFocus(box);
  if (p.windows->Focus() != box) GTEST_SKIP() << "no keyboard focus here";
  PostMessageW(Hwnd(box), WM_KEYDOWN, VK_ESCAPE, 0);
  p.loop->ProcessPending();
  ASSERT_FALSE(sink.keys.empty());
  EXPECT_EQ(sink.keys.back(), (std::pair<WindowId, int>{box, platform::KeyEscape}));
}

TEST_F(Win32BackendTest, APresentedImageIsShownAndADirectDrawingIsNotKept) {
  Show();
  const WindowId surface = Child(platform::NativeKind::Surface, {10, 10, 50, 50});
  if (!ScreenReadable(surface)) GTEST_SKIP() << "no screen to read back here";
  const Pixel red = gfx::RgbHex(0xFF0000);
  const Pixel green = gfx::RgbHex(0x00FF00);
  sink.fills[surface] = red;
  p.windows->Invalidate(surface);
  p.windows->UpdateNow(top);
  EXPECT_EQ(p.windows->VisiblePixel(surface, {0, 0}), red);
  const Image patch(2, 2, green);
  p.windows->DrawDirect(surface, patch, {5, 6});
  EXPECT_EQ(p.windows->VisiblePixel(surface, {5, 6}), green);
  EXPECT_EQ(p.windows->VisiblePixel(surface, {6, 7}), green);
  EXPECT_EQ(p.windows->VisiblePixel(surface, {7, 6}), red);
  // Clipped to the client area: the border is no client pixel.
  p.windows->DrawDirect(surface, Image(4, 4, green), {-2, -2});
  EXPECT_EQ(p.windows->VisiblePixel(surface, {1, 1}), green);
  EXPECT_EQ(p.windows->VisiblePixel(surface, {-1, 0}), platform::kInvalidPixel);
  EXPECT_EQ(p.windows->VisiblePixel(surface, {38, 0}), platform::kInvalidPixel);
  // A repaint shows what the program presents, not the drawing.
  p.windows->Invalidate(surface);
  p.windows->UpdateNow(top);
  EXPECT_EQ(p.windows->VisiblePixel(surface, {5, 6}), red);
}

TEST_F(Win32BackendTest, ASiblingAboveHidesThePixelsUnderIt) {
  Show();
  const WindowId under = Child(platform::NativeKind::Surface, {10, 10, 50, 50});
  const WindowId over = Child(platform::NativeKind::Surface, {30, 30, 70, 70});
  SetWindowPos(Hwnd(over), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (!ScreenReadable(under)) GTEST_SKIP() << "no screen to read back here";
  // The overlap starts at the under window's client point 19, 19.
  EXPECT_EQ(p.windows->VisiblePixel(under, {25, 25}), platform::kInvalidPixel);
  EXPECT_EQ(p.windows->VisiblePixel(under, {10, 25}), gfx::RgbHex(0x123456));
  p.windows->SetVisible(over, false);
  EXPECT_EQ(p.windows->VisiblePixel(under, {25, 25}), gfx::RgbHex(0x123456));
}

TEST_F(Win32BackendTest, TheScreenReadsWhatTheWindowShows) {
  Show();
  const WindowId surface = Child(platform::NativeKind::Surface, {10, 10, 50, 50});
  if (!ScreenReadable(surface)) GTEST_SKIP() << "no screen to read back here";
  const Rect client = p.windows->ClientRect(surface);
  // A window's drawing reaches the screen when the system flushes it,
  // which under Wine is a moment later.
  for (int i = 0; i < 100 && p.screen->PixelAt({client.left + 3, client.top + 3}) != gfx::RgbHex(0x123456); ++i) {
    p.loop->ProcessPending();
    Sleep(20);
  }
  EXPECT_EQ(p.screen->PixelAt({client.left + 3, client.top + 3}), gfx::RgbHex(0x123456));
  Image out;
  ASSERT_TRUE(p.screen->ReadRect({client.left, client.top, client.left + 4, client.top + 2}, out));
  ASSERT_EQ(out.Width(), 4);
  ASSERT_EQ(out.Height(), 2);
  EXPECT_EQ(out.At(3, 1), gfx::RgbHex(0x123456));
  const std::vector<Rect> displays = p.screen->Displays();
  ASSERT_FALSE(displays.empty());
  EXPECT_TRUE(displays.front().Contains(client.left, client.top));
  EXPECT_GE(p.screen->BitsPerPixel(), 16);
}

TEST_F(Win32BackendTest, DestroyTellsTheProgramWhileTheWindowStillExists) {
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  p.windows->Destroy(top);
  EXPECT_EQ(sink.Count("destroyed"), 1);
  EXPECT_FALSE(IsWindow(Hwnd(top)));
  EXPECT_FALSE(IsWindow(Hwnd(box)));
  EXPECT_EQ(p.windows->WindowRect(top), Rect{});
}

}  // namespace
}  // namespace tinctora::win32
