// What only the Win32 backend has, beside the seam's contract: the native
// styles and texts of its windows, how native messages (double clicks,
// signed coordinates, UTF-16 surrogate pairs, the dialog manager's Esc)
// are decoded, and that a program write inside the user's edit is still
// not the user's; the window at the system's DPI and after WM_DPICHANGED,
// the program's own window laid out whole at the system's scale, and its
// captions and channel boxes following the system's face colour.
// Messages are sent to the real windows as the system would send them.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/program.h"
#include "platform/win32/win32_platform.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/scale.h"

namespace tinctora::win32 {
namespace {

using gfx::Image;
using gfx::Pixel;
using gfx::Point;
using gfx::Rect;
using platform::WindowId;

class Sink final : public platform::EventSink {
 public:
  std::vector<std::string> log;
  std::vector<Text> offers;
  std::vector<platform::MouseMessage> mice;
  std::vector<std::pair<WindowId, int>> keys;
  platform::Platform p;
  // What the program writes into a box when the user changes it.
  std::optional<Text> rewrite;

  int Count(const std::string& entry) const {
    int n = 0;
    for (const std::string& e : log) n += e == entry;
    return n;
  }

  bool OnMouse(const platform::MouseMessage& message) override {
    mice.push_back(message);
    return true;
  }
  void OnCaptureLost(WindowId) override {}
  void OnEditChanged(WindowId box) override {
    log.push_back("edit " + std::to_string(box));
    if (rewrite) p.windows->SetEditText(box, *rewrite);
  }
  std::size_t AcceptedBytes(WindowId, TextView text, std::size_t, platform::Insertion) override {
    offers.emplace_back(text);
    return text.size();
  }
  void OnSliderScroll(WindowId, platform::ScrollCode) override {}
  void BeforeInput(WindowId) override {}
  void OnColoursChanged() override { log.push_back("colours"); }
  void OnFrame() override {}
  void OnActivate(WindowId, bool) override {}
  bool OnKeyDown(WindowId focus, int virtualKey) override {
    keys.emplace_back(focus, virtualKey);
    return true;
  }
  void OnCloseRequested(WindowId) override {}
  void OnDestroyed(WindowId) override {}
  void OnHotKey(WindowId, int) override {}
  void OnCommand(WindowId, int) override {}
  void OnPaint(WindowId surface) override {
    const Rect client = p.windows->ClientRect(surface);
    p.windows->Present(surface, Image(client.Width(), client.Height(), 0));
  }
  void OnPopupDismissed(WindowId) override {}
  void OnScaleChanged(WindowId top) override {
    log.push_back("scale");
    scaleSeen = p.windows->Scale(top);
    outerSeen = p.windows->WindowRect(top);
  }
  // What the window said inside OnScaleChanged: its scale and its frame.
  double scaleSeen = 0;
  Rect outerSeen;
};

HWND Hwnd(WindowId id) { return reinterpret_cast<HWND>(id); }

// The system's scale, as the screen's DC tells it.
double SystemScale() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi / 96.0;
}

// The line height of the font a system control shows its text in.
int ControlLineHeight(HWND control) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HDC dc = GetDC(control);
  const HGDIOBJ old = SelectObject(dc, font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return metrics.tmHeight;
}

Rect ScreenClientRect(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right, r.bottom};
}

std::wstring NativeText(WindowId id) {
  wchar_t buffer[256] = {};
  GetWindowTextW(Hwnd(id), buffer, 256);
  return buffer;
}

class Win32Native : public ::testing::Test {
 protected:
  void SetUp() override {
    system = Win32System::Create();
    ASSERT_NE(system, nullptr);
    sink.p = system->Services();
    p = sink.p;
    p.windows->SetSink(&sink);
    platform::TopLevelSpec params;
    params.caption = "native";
    params.clientWidth = 607;
    params.clientHeight = 401;
    params.minimiseBox = true;
    top = p.windows->CreateTopLevel(params);
    ASSERT_NE(top, 0u) << "the system made no window (no display?)";
  }
  void TearDown() override {
    if (top != 0) p.windows->Destroy(top);
    p.windows->SetSink(nullptr);
  }

  WindowId Child(platform::NativeKind kind, const Rect& bounds, platform::TextAlign align = platform::TextAlign::Left) {
    platform::ChildSpec params;
    params.kind = kind;
    params.bounds = bounds;
    params.border = true;
    params.tabStop = true;
    params.edit.align = align;
    const WindowId id = p.windows->CreateChild(top, params);
    p.windows->SetVisible(id, true);
    return id;
  }

  void Show() {
    const Rect outer = p.windows->WindowRect(top);
    p.windows->SetBounds(top, {100, 100, 100 + outer.Width(), 100 + outer.Height()});
    p.windows->Show(top);
    p.loop->ProcessPending();
  }

  std::unique_ptr<Win32System> system;
  platform::Platform p;
  Sink sink;
  WindowId top = 0;
};

TEST_F(Win32Native, TheTopLevelTakesItsClientSizeAndStylesAndStaysHiddenUntilShown) {
  const Rect client = p.windows->ClientRect(top);
  EXPECT_EQ(client.Width(), 607);
  EXPECT_EQ(client.Height(), 401);
  // The frame is the system's own at the window's DPI, around the client area.
  const Rect outer = p.windows->WindowRect(top);
  EXPECT_GT(outer.Width(), 607);
  EXPECT_GT(outer.Height(), 401);
  EXPECT_TRUE(outer.Contains(client.left, client.top));
  EXPECT_TRUE(outer.Contains(client.right - 1, client.bottom - 1));
  EXPECT_FALSE(IsWindowVisible(Hwnd(top)));
  const LONG style = GetWindowLongW(Hwnd(top), GWL_STYLE);
  const LONG exStyle = GetWindowLongW(Hwnd(top), GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(exStyle & WS_EX_TOPMOST);
}

TEST_F(Win32Native, TheWindowIsShownAtTheSystemsScaleWithItsControlsInTheGuiFontThere) {
  const double scale = SystemScale();
  EXPECT_DOUBLE_EQ(p.windows->Scale(top), scale);
  EXPECT_DOUBLE_EQ(p.screen->Displays().front().scale, scale);
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  EXPECT_EQ(ControlLineHeight(Hwnd(box)), p.windows->DefaultGuiFont(scale).LineHeight());
}

TEST_F(Win32Native, OnADpiChangeTheFrameGoesWhereSuggestedAndTheControlsGetTheFontBeforeTheProgramHears) {
  Show();
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  const int before = ControlLineHeight(Hwnd(box));
  // The window goes to a display at 200 % (at 100 % where the system is at
  // 200 %): the system suggests a frame there and sends the new DPI.
  const UINT dpi = SystemScale() == 2.0 ? 96 : 192;
  const double scale = dpi / 96.0;
  const RECT suggested{150, 120, 150 + 1240, 120 + 870};
  SendMessageW(Hwnd(top), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  ASSERT_EQ(sink.Count("scale"), 1);
  EXPECT_DOUBLE_EQ(sink.scaleSeen, scale);
  EXPECT_EQ(sink.outerSeen, (Rect{150, 120, 150 + 1240, 120 + 870}));
  EXPECT_DOUBLE_EQ(p.windows->Scale(top), scale);
  const int after = ControlLineHeight(Hwnd(box));
  EXPECT_EQ(after, p.windows->DefaultGuiFont(scale).LineHeight());
  if (dpi > 96) {
    EXPECT_GT(after, before);
  } else {
    EXPECT_LT(after, before);
  }
  // A control made afterwards gets the font at the new DPI too, and the
  // client area takes its size inside the frame at that DPI, the frame's
  // corner kept.
  const WindowId later = Child(platform::NativeKind::EditBox, {10, 40, 80, 60});
  EXPECT_EQ(ControlLineHeight(Hwnd(later)), after);
  p.windows->SetClientSize(top, 1214, 802);
  const Rect client = p.windows->ClientRect(top);
  EXPECT_EQ(client.Width(), 1214);
  EXPECT_EQ(client.Height(), 802);
  EXPECT_EQ(p.windows->WindowRect(top).left, 150);
  EXPECT_EQ(p.windows->WindowRect(top).top, 120);
}

// The system's group box draws with its parent's clipping (the BUTTON
// class is CS_PARENTDC), which keeps nothing of its own children out: a
// repaint of the frame alone must leave what it holds as it was painted.
// The face the layout was drawn for, named, not the system's default GUI
// font: the test prefixes make "MS Shell Dlg" a Latin face, as on an English
// Windows, and give the Chinese faces through substitutes. Its Latin letters
// are half the width of its ideographs, which the default GUI font's are not
// ('i' and 'W' differ), and the controls and the control layer draw with the
// one font at the window's DPI, antialiased alike.
TEST_F(Win32Native, TheControlsAndTheControlLayerShareTheChineseFaceAtNinePoints) {
  const double scale = SystemScale();
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  const auto font = reinterpret_cast<HFONT>(SendMessageW(Hwnd(box), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW face{};
  ASSERT_EQ(GetObjectW(font, sizeof face, &face), static_cast<int>(sizeof face));
  EXPECT_EQ(std::wstring(face.lfFaceName), L"SimSun");
  EXPECT_EQ(face.lfCharSet, GB2312_CHARSET);
  EXPECT_EQ(face.lfHeight, -MulDiv(9, static_cast<int>(96 * scale), 72));
  EXPECT_EQ(face.lfQuality, ANTIALIASED_QUALITY);

  const gfx::Font& layer = p.windows->DefaultGuiFont(scale);
  EXPECT_EQ(ControlLineHeight(Hwnd(box)), layer.LineHeight());
  const int latin = layer.CharWidth("W");
  EXPECT_GT(latin, 0);
  EXPECT_EQ(layer.CharWidth("i"), latin);
  EXPECT_EQ(layer.CharWidth("\xD6\xD0"), 2 * latin);  // 中
  // The control measures with the same widths.
  HDC dc = GetDC(Hwnd(box));
  const HGDIOBJ old = SelectObject(dc, font);
  SIZE wide{};
  GetTextExtentPoint32W(dc, L"\x4E2D", 1, &wide);
  SelectObject(dc, old);
  ReleaseDC(Hwnd(box), dc);
  EXPECT_EQ(wide.cx, 2 * latin);
}

// The control layer's glyphs carry as much ink as the system's own drawing
// of the same text in an edit box, black on white: the two are antialiased
// alike (GDI renders white on black bolder than black on white).
TEST_F(Win32Native, TheControlLayersTextIsInkedAsTheEditBoxsOwn) {
  Show();
  platform::ChildSpec params;
  params.kind = platform::NativeKind::EditBox;
  params.bounds = {10, 10, 250, 40};
  params.edit.background = gfx::RgbHex(0xFFFFFF);
  params.edit.textColour = gfx::RgbHex(0x000000);
  const WindowId box = p.windows->CreateChild(top, params);
  p.windows->SetVisible(box, true);
  SetWindowTextW(Hwnd(box), L"13395507\x53D6\x8272");  // 13395507取色
  SetFocus(Hwnd(top));  // no caret in the box
  p.windows->UpdateNow(top);
  p.loop->ProcessPending();
  const Rect client = p.windows->ClientRect(box);
  Image shown;
  ASSERT_TRUE(p.screen->ReadRect(client, shown));
  // Ink: how much darker than white, in the green channel.
  const auto ink = [](const Image& image) {
    long sum = 0;
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = 0; x < image.Width(); ++x) sum += 0xFF - static_cast<long>((image.At(x, y) >> 8) & 0xFF);
    }
    return sum;
  };
  const gfx::Font& font = p.windows->DefaultGuiFont(SystemScale());
  Image drawn(client.Width(), client.Height(), gfx::RgbHex(0xFFFFFF));
  int x = 0;
  for (const char* c : {"1", "3", "3", "9", "5", "5", "0", "7", "\xC8\xA1", "\xC9\xAB"}) {
    font.DrawChar(drawn, x, 0, c, gfx::RgbHex(0x000000));
    x += font.CharWidth(c);
  }
  const long system = ink(shown);
  const long layer = ink(drawn);
  ASSERT_GT(system, 0) << "the box shows no text";
  EXPECT_NEAR(static_cast<double>(layer) / static_cast<double>(system), 1.0, 0.2)
      << "ink of the control layer's text " << layer << ", of the box's " << system;
}

TEST_F(Win32Native, AGroupBoxRepaintedAloneLeavesWhatItHoldsAsPainted) {
  Show();
  platform::ChildSpec group;
  group.kind = platform::NativeKind::GroupFrame;
  group.bounds = {30, 20, 230, 120};
  const WindowId frame = p.windows->CreateChild(top, group);
  p.windows->SetVisible(frame, true);
  platform::ChildSpec inner;
  inner.bounds = {11, 15, 49, 53};
  const WindowId swatch = p.windows->CreateChild(frame, inner);
  p.windows->SetVisible(swatch, true);
  p.windows->UpdateNow(top);
  const Rect client = p.windows->ClientRect(swatch);
  const auto shown = [&] {
    return static_cast<Pixel>(p.screen->PixelAt({(client.left + client.right) / 2, (client.top + client.bottom) / 2}));
  };
  // The sink presents black; the face is not black.
  ASSERT_EQ(shown(), 0u);
  RedrawWindow(Hwnd(frame), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_NOCHILDREN);
  p.loop->ProcessPending();
  EXPECT_EQ(shown(), 0u);
  EXPECT_EQ(p.windows->VisiblePixel(swatch, {5, 5}), 0u);
}

TEST_F(Win32Native, TextsAreUtf16AtTheSystemAndBoxesHaveNoNativeLimit) {
  p.windows->SetCaption(top, "\xC8\xA1\xC9\xAB");  // 取色
  EXPECT_EQ(NativeText(top), L"\u53D6\u8272");
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30}, platform::TextAlign::Centre);
  EXPECT_TRUE(GetWindowLongW(Hwnd(box), GWL_STYLE) & ES_CENTER);
  p.windows->SetEditText(box, "\xD6\xD0" "1");  // 中1
  EXPECT_EQ(NativeText(box), L"\u4E2D" L"1");
  // The caret at the end is a UTF-16 position there, a byte offset here.
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(Hwnd(box), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 2u);
  EXPECT_EQ(end, 2u);
  EXPECT_EQ(p.windows->EditSelection(box), (platform::EditRange{3, 3}));
  EXPECT_GT(SendMessageW(Hwnd(box), EM_GETLIMITTEXT, 0, 0), 0x7FFFFFF0);
}

TEST_F(Win32Native, ASurrogatePairIsOneCharacterAndHasNoGbkForm) {
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  p.windows->SetEditText(box, "1");
  // U+20000 arrives as two WM_CHAR units: one offer, of its replacement.
  SendMessageW(Hwnd(box), WM_CHAR, 0xD840, 0);
  EXPECT_TRUE(sink.offers.empty());
  SendMessageW(Hwnd(box), WM_CHAR, 0xDC00, 0);
  ASSERT_EQ(sink.offers.size(), 1u);
  EXPECT_EQ(sink.offers[0], "?");
}

TEST_F(Win32Native, NativeMouseMessagesAreDecodedWithSignedCoordinatesAndADoubleClickIsAPress) {
  const WindowId surface = Child(platform::NativeKind::Surface, {10, 10, 48, 48});
  SendMessageW(Hwnd(surface), WM_MOUSEMOVE, MK_SHIFT, MAKELPARAM(-5, 7));
  SendMessageW(Hwnd(surface), WM_LBUTTONDBLCLK, MK_LBUTTON | MK_CONTROL, MAKELPARAM(3, 4));
  SendMessageW(Hwnd(surface), WM_RBUTTONUP, 0, MAKELPARAM(3, 4));
  ASSERT_EQ(sink.mice.size(), 3u);
  EXPECT_EQ(sink.mice[0].target, surface);
  EXPECT_EQ(sink.mice[0].action, platform::MouseAction::Move);
  EXPECT_EQ(sink.mice[0].client, (Point{-5, 7}));
  EXPECT_EQ(sink.mice[0].keys, platform::ModShift);
  EXPECT_EQ(sink.mice[1].action, platform::MouseAction::LeftDown);
  EXPECT_EQ(sink.mice[1].keys, platform::ModCtrl);
  EXPECT_EQ(sink.mice[2].action, platform::MouseAction::RightUp);
}

TEST_F(Win32Native, AProgramWriteMadeWhileTheUsersEditIsReportedIsNotTheUsers) {
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  p.windows->SetEditText(box, "99");
  // The program answers the user's edit by rewriting the box at once.
  sink.rewrite = Text("255");
  SendMessageW(Hwnd(box), WM_CHAR, '9', 0);
  EXPECT_EQ(p.windows->EditText(box), "255");
  EXPECT_EQ(sink.Count("edit " + std::to_string(box)), 1);
  // Select-all and cut (the box's own Ctrl+X) is the user's edit too.
  sink.rewrite.reset();
  SendMessageW(Hwnd(box), EM_SETSEL, 0, -1);
  SendMessageW(Hwnd(box), WM_CUT, 0, 0);
  EXPECT_EQ(p.windows->EditText(box), "");
  EXPECT_EQ(sink.Count("edit " + std::to_string(box)), 2);
}

TEST_F(Win32Native, TheSliderTakesItsStepsAsTheTrackBarsOwn) {
  platform::ChildSpec params;
  params.kind = platform::NativeKind::Slider;
  params.bounds = {10, 40, 153, 76};
  params.slider.maximum = 255;
  params.slider.lineStep = 2;
  params.slider.pageStep = 9;
  const WindowId slider = p.windows->CreateChild(top, params);
  EXPECT_EQ(SendMessageW(Hwnd(slider), TBM_GETLINESIZE, 0, 0), 2);
  EXPECT_EQ(SendMessageW(Hwnd(slider), TBM_GETPAGESIZE, 0, 0), 9);
  EXPECT_EQ(SendMessageW(Hwnd(slider), TBM_GETRANGEMAX, 0, 0), 255);
}

TEST_F(Win32Native, EscapeInAnEditBoxReachesTheProgramThroughTheDialogManager) {
  Show();
  const WindowId box = Child(platform::NativeKind::EditBox, {10, 10, 80, 30});
  p.windows->SetFocus(box);
  ASSERT_EQ(p.windows->Focus(), box);
  PostMessageW(Hwnd(box), WM_KEYDOWN, VK_ESCAPE, 0);
  p.loop->ProcessPending();
  ASSERT_FALSE(sink.keys.empty());
  EXPECT_EQ(sink.keys.back(), (std::pair<WindowId, int>{box, platform::KeyEscape}));
}

// What a walk over the program's controls found.
struct ControlWalk {
  Rect client;         // the window's client area, screen coordinates
  int lineHeight = 0;  // the GUI font's at the window's scale
  int controls = 0;
  int edits = 0;
  std::vector<std::string> outside;
  std::vector<std::string> wrongFont;
};

BOOL CALLBACK WalkControl(HWND child, LPARAM data) {
  auto& walk = *reinterpret_cast<ControlWalk*>(data);
  if (!IsWindowVisible(child)) return TRUE;
  ++walk.controls;
  RECT r{};
  GetWindowRect(child, &r);
  const Rect outer{r.left, r.top, r.right, r.bottom};
  const Rect& within = walk.client;
  wchar_t name[64] = {};
  GetClassNameW(child, name, 64);
  std::string where(name, name + wcslen(name));
  where += " at " + std::to_string(outer.left - within.left) + "," + std::to_string(outer.top - within.top);
  if (outer.left < within.left || outer.top < within.top || outer.right > within.right || outer.bottom > within.bottom) {
    walk.outside.push_back(where);
  }
  if (_wcsicmp(name, L"EDIT") == 0) {
    ++walk.edits;
    if (ControlLineHeight(child) != walk.lineHeight) walk.wrongFont.push_back(where);
  }
  return TRUE;
}

// The program's own window, as it opens: its client area is the layout's
// 607 x 401 units at the system's scale (911 x 602 at 144 DPI), every
// control lies within it, so nothing is cut off at its edges, and every edit
// box shows its text in the GUI font at that scale.
TEST(Win32Program, TheWindowOpensWholeAtTheSystemsScale) {
  std::unique_ptr<Win32System> system = Win32System::Create();
  ASSERT_NE(system, nullptr);
  app::Program program(system->Services());
  program.Start();
  ASSERT_FALSE(program.Finished());
  system->Services().loop->ProcessPending();
  const HWND top = Hwnd(program.Form().Window().Handle());
  ASSERT_NE(top, nullptr);

  const double scale = SystemScale();
  EXPECT_DOUBLE_EQ(program.Form().Scale(), scale);
  const Rect client = ScreenClientRect(top);
  EXPECT_EQ(client.Width(), ui::DeviceEdge(607, scale));
  EXPECT_EQ(client.Height(), ui::DeviceEdge(401, scale));
  if (scale == 1.5) {
    EXPECT_EQ(client.Width(), 911);
    EXPECT_EQ(client.Height(), 602);
  }

  ControlWalk walk;
  walk.client = client;
  walk.lineHeight = system->Services().windows->DefaultGuiFont(scale).LineHeight();
  EnumChildWindows(top, &WalkControl, reinterpret_cast<LPARAM>(&walk));
  EXPECT_GT(walk.controls, 20);
  EXPECT_GT(walk.edits, 5);
  EXPECT_TRUE(walk.outside.empty()) << "outside the client area: " << ::testing::PrintToString(walk.outside);
  EXPECT_TRUE(walk.wrongFont.empty()) << "not in the GUI font at the scale: " << ::testing::PrintToString(walk.wrongFont);
  program.Form().Close();
}

// Ten thousand movements of a pick leave the backend holding as many GDI
// objects and DCs as before them, and make none: the zoom view's snapshot
// surface and the display list are kept, not made again for every
// movement. Every movement is handled in full: it reaches the program as
// the system's own message, with the screen read for the zoom view.
TEST(Win32Program, TenThousandPickMovementsMakeNoGdiObjects) {
  // A program that ran before in this thread left its quit behind.
  MSG quit{};
  while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  std::unique_ptr<Win32System> system = Win32System::Create();
  ASSERT_NE(system, nullptr);
  const platform::Platform p = system->Services();
  app::Program program(p);
  program.Start();
  ASSERT_FALSE(program.Finished());
  p.loop->ProcessPending();
  const HWND pad = Hwnd(program.GetContext().W().pad.Handle());
  ASSERT_NE(pad, nullptr);
  // The button really pressed on the pad: the pick asks the system whether
  // it is down.
  const Rect padRect = ScreenClientRect(pad);
  // A click on a window in the background would only bring it forward.
  SetForegroundWindow(GetAncestor(pad, GA_ROOT));
  p.loop->ProcessPending();
  SetCursorPos(padRect.left + 10, padRect.top + 10);
  INPUT press{};
  press.type = INPUT_MOUSE;
  press.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  ASSERT_EQ(SendInput(1, &press, sizeof press), 1u);
  for (int i = 0; i < 50 && program.GetContext().state.PickActive == 0; ++i) {
    Sleep(10);
    p.loop->ProcessPending();
  }
  ASSERT_EQ(program.GetContext().state.PickActive, 1) << "the press on the picker pad started no pick";

  int handled = 0;
  const auto move = [&](int i) {
    SendMessageW(pad, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(i % 200, (i / 200) % 100));
    p.loop->ProcessPending();
    if (program.GetContext().state.ZoomImage != 0) ++handled;
  };
  for (int i = 0; i < 100; ++i) move(i);
  const Win32System::GdiCounts before = Win32System::Gdi();
  handled = 0;
  for (int i = 0; i < 10000; ++i) move(i);
  const Win32System::GdiCounts after = Win32System::Gdi();
  std::printf("GDI objects and DCs held: %ld before, %ld after 10000 movements; made during them: %ld\n",
              before.held, after.held, after.made - before.made);
  EXPECT_EQ(handled, 10000);
  EXPECT_EQ(after.held, before.held) << "the movements left GDI objects or DCs behind";
  EXPECT_EQ(after.made, before.made) << "the movements made GDI objects";

  INPUT release{};
  release.type = INPUT_MOUSE;
  release.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(1, &release, sizeof release);
  for (int i = 0; i < 50 && program.GetContext().state.PickActive != 0; ++i) {
    Sleep(10);
    p.loop->ProcessPending();
  }
  EXPECT_EQ(program.GetContext().state.PickActive, 0);
  program.Form().Close();
}

// The user changes the system's face colour while the program runs
// (SetSysColors tells every top-level window with WM_SYSCOLORCHANGE): a
// caption and a channel box show the new face, a notation box keeps its
// white outside high contrast, and the old face comes back with the old
// colour.
TEST(Win32Program, TheCaptionsAndChannelBoxesFollowTheSystemsFaceColour) {
  std::unique_ptr<Win32System> system = Win32System::Create();
  ASSERT_NE(system, nullptr);
  const platform::Platform p = system->Services();
  app::Program program(p);
  program.Start();
  ASSERT_FALSE(program.Finished());
  // Long enough for the display frame that brings the repaints.
  const auto settle = [&p] {
    for (int i = 0; i < 10; ++i) {
      p.loop->ProcessPending();
      Sleep(10);
    }
    p.loop->ProcessPending();
  };
  settle();
  const WindowId caption = program.Form().Get<ui::Label>("标签1").Handle();
  const WindowId channel = program.Form().Get<ui::EditBox>("R编辑框").Handle();
  const WindowId notation = program.Form().Get<ui::EditBox>("编辑框3").Handle();
  const int which[] = {COLOR_BTNFACE};
  const COLORREF before = GetSysColor(COLOR_BTNFACE);
  const COLORREF other = before == RGB(0x20, 0x30, 0x40) ? RGB(0x40, 0x30, 0x20) : RGB(0x20, 0x30, 0x40);
  ASSERT_TRUE(SetSysColors(1, which, &other));
  settle();
  const Pixel captionShown = p.windows->VisiblePixel(caption, {0, 0});
  const Pixel channelShown = p.windows->VisiblePixel(channel, {1, 1});
  const Pixel notationShown = p.windows->VisiblePixel(notation, {1, 1});
  SetSysColors(1, which, &before);
  settle();
  EXPECT_EQ(captionShown, static_cast<Pixel>(other));
  EXPECT_EQ(channelShown, static_cast<Pixel>(other));
  EXPECT_EQ(notationShown, gfx::RgbHex(0xFFFFFF));
  EXPECT_EQ(p.windows->VisiblePixel(caption, {0, 0}), static_cast<Pixel>(before & 0xFFFFFF));
  EXPECT_EQ(p.windows->VisiblePixel(channel, {1, 1}), static_cast<Pixel>(before & 0xFFFFFF));
  program.Form().Close();
}

}  // namespace
}  // namespace tinctora::win32
