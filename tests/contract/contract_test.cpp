// The seam's contract, written once and run against every backend through
// its harness: what reaches the program and what does not, what an edit box
// does with the program's writes and the user's typing, the display frame,
// the pointer of the message being handled, the capture, the clipboard, hot
// keys, popups and pixel reads.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/contract/harness.h"
#include "ui/scale.h"

namespace tinctora::contract {

double TestScale() {
  const char* percent = std::getenv("TINCTORA_TEST_SCALE");
  const int value = percent != nullptr ? std::atoi(percent) : 0;
  return value >= 100 ? value / 100.0 : 1.0;
}

namespace {

using gfx::Image;
using gfx::Pixel;
using gfx::Rect;
using platform::EditRange;
using platform::Insertion;
using platform::NativeKind;

// Records what the backend tells the program, and answers as a test says.
class RecordingSink final : public platform::EventSink {
 public:
  struct Offer {
    WindowId box = 0;
    Text text;
    std::size_t kept = 0;
    Insertion how = Insertion::Typed;
  };

  // In order: "edit B", "slider S", "input C", "offer B", "lost W",
  // "frame", "mouse W", … with the ids as numbers.
  std::vector<std::string> log;
  std::vector<Offer> offers;
  std::vector<platform::MouseMessage> mice;
  // Where the backend says the pointer is while each mouse message is handled.
  std::vector<Point> pointerWhileHandled;
  std::vector<platform::ScrollCode> scrolls;
  std::function<std::size_t(const Offer&)> accept = [](const Offer& o) { return o.text.size(); };
  std::map<WindowId, Pixel> fills;
  // What OnMouse answers: false keeps the message from the native control.
  bool passMouse = true;
  // Called after each mouse message is logged.
  std::function<void(const platform::MouseMessage&)> onMouse;
  // Read inside OnDestroyed: whether the window's child still had its area.
  WindowId childToCheck = 0;
  bool childExistedWhileDestroyed = false;
  int destroyed = 0;
  platform::Platform p;

  int Count(const std::string& entry) const { return static_cast<int>(std::count(log.begin(), log.end(), entry)); }
  // Entries that start with `kind`.
  int CountKind(const std::string& kind) const {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& e) { return e.starts_with(kind); }));
  }

  bool OnMouse(const platform::MouseMessage& message) override {
    mice.push_back(message);
    pointerWhileHandled.push_back(p.screen->CursorPos().value_or(Point{-1, -1}));
    log.push_back("mouse " + std::to_string(message.target));
    if (onMouse) onMouse(message);
    return passMouse;
  }
  void OnCaptureLost(WindowId window) override { log.push_back("lost " + std::to_string(window)); }
  void OnEditChanged(WindowId box) override { log.push_back("edit " + std::to_string(box)); }
  std::size_t AcceptedBytes(WindowId box, TextView text, std::size_t kept, Insertion how) override {
    offers.push_back({box, Text(text), kept, how});
    log.push_back("offer " + std::to_string(box));
    return accept(offers.back());
  }
  void OnSliderScroll(WindowId slider, platform::ScrollCode code) override {
    scrolls.push_back(code);
    log.push_back("slider " + std::to_string(slider));
  }
  void BeforeInput(WindowId control) override { log.push_back("input " + std::to_string(control)); }
  void OnFrame() override { log.push_back("frame"); }
  void OnActivate(WindowId, bool) override {}
  bool OnKeyDown(WindowId focus, int virtualKey) override {
    log.push_back("key " + std::to_string(virtualKey));
    return false;
  }
  void OnCloseRequested(WindowId) override { log.push_back("close"); }
  void OnDestroyed(WindowId) override {
    ++destroyed;
    if (childToCheck != 0) childExistedWhileDestroyed = !p.windows->ClientRect(childToCheck).Empty();
  }
  void OnHotKey(WindowId, int nativeId) override { log.push_back("hotkey " + std::to_string(nativeId)); }
  void OnCommand(WindowId, int command) override { log.push_back("command " + std::to_string(command)); }
  void OnPaint(WindowId surface) override {
    const Rect client = p.windows->ClientRect(surface);
    const auto it = fills.find(surface);
    p.windows->Present(surface, Image(client.Width(), client.Height(), it != fills.end() ? it->second : 0));
  }
  void OnPopupDismissed(WindowId) override {}
  void OnScaleChanged(WindowId) override { log.push_back("scale"); }
  void OnColoursChanged() override {
    log.push_back("colours");
    coloursSeen.push_back(p.windows->Colours());
  }
  // The colours Windows::Colours gave while each OnColoursChanged ran.
  std::vector<platform::SystemColours> coloursSeen;
};

class Contract : public ::testing::Test {
 protected:
  void SetUp() override {
    harness = MakeHarness();
    ASSERT_NE(harness, nullptr);
    p = harness->Services();
    sink.p = p;
    p.windows->SetSink(&sink);
    platform::TopLevelSpec params;
    params.caption = "contract";
    params.clientWidth = 390;
    params.clientHeight = 270;
    params.minimiseBox = true;
    top = p.windows->CreateTopLevel(params);
    ASSERT_NE(top, 0u);
  }
  void TearDown() override {
    if (top != 0) p.windows->Destroy(top);
    if (p.windows != nullptr) p.windows->SetSink(nullptr);
  }

  WindowId Child(NativeKind kind, const Rect& bounds) {
    platform::ChildSpec params;
    params.kind = kind;
    params.bounds = bounds;
    params.tabStop = kind == NativeKind::EditBox || kind == NativeKind::Slider;
    params.slider.maximum = 255;
    params.slider.position = 1;
    params.slider.tickFrequency = 15;
    const WindowId id = p.windows->CreateChild(top, params);
    p.windows->SetVisible(id, true);
    return id;
  }

  // A surface showing one colour, painted and settled.
  WindowId PaintedSurface(const Rect& bounds, Pixel fill) {
    const WindowId surface = Child(NativeKind::Surface, bounds);
    sink.fills[surface] = fill;
    p.windows->Invalidate(surface);
    p.windows->UpdateNow(top);
    harness->Run(50);
    return surface;
  }
  // The window's client area as the program sizes it: 390 x 270 layout
  // units at the run's scale, then shown.
  void ShowScaled() {
    const double s = harness->Scale();
    p.windows->SetClientSize(top, ui::DeviceEdge(390, s), ui::DeviceEdge(270, s));
    Show();
  }

  // The window shows a cursor of the program's, as a pick's pad does.
  platform::CursorId ShowReticle(WindowId window) {
    gfx::CursorImage reticle;
    reticle.picture.colour = Image(16, 16, 0x0000FF);
    reticle.hotSpot = {8, 8};
    const platform::CursorId cursor = p.screen->CreateCursor(reticle);
    p.screen->SetWindowCursor(window, cursor);
    return cursor;
  }

  // Shows the window on the primary display and lets it settle.
  void Show() {
    const Rect outer = p.windows->WindowRect(top);
    const Rect primary = p.screen->Displays().front().bounds;
    const int left = primary.left + 40;
    const int topEdge = primary.top + 40;
    p.windows->SetBounds(top, {left, topEdge, left + outer.Width(), topEdge + outer.Height()});
    p.windows->Show(top);
    harness->Run(50);
  }

  // An edit box with the keyboard focus, holding `text`, the log cleared.
  WindowId FocusedBox(TextView text) {
    Show();
    const WindowId box = Child(NativeKind::EditBox, {10, 10, 120, 32});
    p.windows->SetEditText(box, text);
    p.windows->SetFocus(box);
    harness->Run(20);
    sink.log.clear();
    sink.offers.clear();
    return box;
  }

  std::unique_ptr<Harness> harness;
  platform::Platform p;
  RecordingSink sink;
  WindowId top = 0;
};

// ---- program writes ----------------------------------------------------------

TEST_F(Contract, ProgramWritesRaiseNothingAndAreNeverCut) {
  Show();
  const WindowId box = Child(NativeKind::EditBox, {10, 10, 120, 32});
  const WindowId slider = Child(NativeKind::Slider, {10, 40, 153, 76});
  harness->Run(20);
  sink.log.clear();
  p.windows->SetEditText(box, "12");
  p.windows->SetEditText(box, "12");
  // Past the native controls' default length limits (30000 characters for
  // the system edit control, 32767 for Qt's).
  const Text longText(32768, '7');
  p.windows->SetEditText(box, longText);
  const Text shown = p.windows->EditText(box);
  p.windows->SetEditSelection(box, {0, 3});
  p.windows->SetSliderPosition(slider, 300);
  p.windows->SetSliderPosition(slider, 20);
  harness->Run(30);
  EXPECT_TRUE(shown == longText) << "a program write was cut to " << shown.size() << " bytes";
  EXPECT_EQ(p.windows->SliderPosition(slider), 20);
  EXPECT_EQ(sink.CountKind("edit"), 0) << "a program write was reported as the user's edit";
  EXPECT_EQ(sink.CountKind("slider"), 0) << "a program write was reported as the user's scroll";
  EXPECT_TRUE(sink.offers.empty());
  p.windows->SetSliderPosition(slider, 300);
  EXPECT_EQ(p.windows->SliderPosition(slider), 255);
}

TEST_F(Contract, TextsCrossAsGbkAndSelectionsAsByteOffsets) {
  Show();
  const WindowId box = Child(NativeKind::EditBox, {10, 10, 120, 32});
  const Text text = "1\xD6\xD0" "2";  // 1中2: the middle character is two bytes
  p.windows->SetEditText(box, text);
  EXPECT_EQ(p.windows->EditText(box), text);
  // After a write the caret stands at the end, nothing selected.
  EXPECT_EQ(p.windows->EditSelection(box), (EditRange{4, 4}));
  p.windows->SetEditSelection(box, {1, 3});
  EXPECT_EQ(p.windows->EditSelection(box), (EditRange{1, 3}));
  p.windows->SetEditSelection(box, {3, 0});
  EXPECT_EQ(p.windows->EditSelection(box).Start(), 0u);
  EXPECT_EQ(p.windows->EditSelection(box).End(), 3u);
  p.windows->SetEditSelection(box, {0, 99});
  EXPECT_EQ(p.windows->EditSelection(box).End(), 4u);
}

// ---- the user's typing ---------------------------------------------------------

TEST_F(Contract, TypingGoesInAtTheCaretAfterTheProgramIsAsked) {
  const WindowId box = FocusedBox("12");
  p.windows->SetEditSelection(box, {1, 1});
  harness->Type("3");
  EXPECT_EQ(p.windows->EditText(box), "132");
  EXPECT_EQ(p.windows->EditSelection(box), (EditRange{2, 2}));
  ASSERT_EQ(sink.offers.size(), 1u);
  EXPECT_EQ(sink.offers[0].text, "3");
  EXPECT_EQ(sink.offers[0].kept, 2u);
  EXPECT_EQ(sink.offers[0].how, Insertion::Typed);
  EXPECT_EQ(sink.Count("edit " + std::to_string(box)), 1);
  // The box is brought up to date before it takes the key, then asks.
  const auto input = std::find(sink.log.begin(), sink.log.end(), "input " + std::to_string(box));
  const auto offer = std::find(sink.log.begin(), sink.log.end(), "offer " + std::to_string(box));
  ASSERT_NE(input, sink.log.end()) << "the box took a key without BeforeInput";
  EXPECT_LT(input, offer);
}

TEST_F(Contract, TypingReplacesTheSelectionSoACorrectionIsReplaced) {
  // The program corrected the box to "255" and selected it: the next
  // keystroke replaces it rather than landing beside it.
  const WindowId box = FocusedBox("999");
  p.windows->SetEditText(box, "255");
  p.windows->SetEditSelection(box, {0, 3});
  harness->Type("7");
  EXPECT_EQ(p.windows->EditText(box), "7");
  ASSERT_EQ(sink.offers.size(), 1u);
  EXPECT_EQ(sink.offers[0].kept, 0u);
  // Cleared and rewritten as "0", selected: typing 2, 0, 0 gives 200.
  p.windows->SetEditText(box, "0");
  p.windows->SetEditSelection(box, {0, 1});
  harness->Type("2");
  harness->Type("0");
  harness->Type("0");
  EXPECT_EQ(p.windows->EditText(box), "200");
}

TEST_F(Contract, ABoxInsertsExactlyWhatTheProgramAccepts) {
  const WindowId box = FocusedBox("12");
  sink.accept = [](const RecordingSink::Offer&) { return std::size_t{0}; };
  harness->Type("x");
  EXPECT_EQ(p.windows->EditText(box), "12");
  EXPECT_EQ(sink.CountKind("edit"), 0) << "a refused keystroke was reported as an edit";
  ASSERT_EQ(sink.offers.size(), 1u);

  // A typed double-byte character arrives whole.
  sink.accept = [](const RecordingSink::Offer& o) { return o.text.size(); };
  harness->Type("\xBA\xEC");  // 红
  ASSERT_EQ(sink.offers.size(), 2u);
  EXPECT_EQ(sink.offers[1].text, "\xBA\xEC");
  EXPECT_EQ(p.windows->EditText(box), "12\xBA\xEC");

  // A paste is offered whole; exactly the accepted bytes go in, whatever
  // they are (the program decides where a character ends).
  p.windows->SetEditText(box, "0");
  p.windows->SetEditSelection(box, {0, 1});
  sink.offers.clear();
  sink.accept = [](const RecordingSink::Offer&) { return std::size_t{4}; };
  harness->Paste("9\xBA\xEC" "8\xFF" "7");
  ASSERT_EQ(sink.offers.size(), 1u);
  EXPECT_EQ(sink.offers[0].how, Insertion::Pasted);
  EXPECT_EQ(sink.offers[0].kept, 0u);
  EXPECT_EQ(sink.offers[0].text.substr(0, 4), "9\xBA\xEC" "8");
  EXPECT_EQ(p.windows->EditText(box), "9\xBA\xEC" "8");

  // A paste refused whole changes nothing, the selection included.
  p.windows->SetEditSelection(box, {0, 1});
  sink.log.clear();
  sink.accept = [](const RecordingSink::Offer&) { return std::size_t{0}; };
  harness->Paste("5");
  EXPECT_EQ(p.windows->EditText(box), "9\xBA\xEC" "8");
  EXPECT_EQ(sink.CountKind("edit"), 0) << "a refused paste was reported as an edit";
}

TEST_F(Contract, EditingKeysAreNoInsertionButAreTheUsersEdits) {
  const WindowId box = FocusedBox("12");
  p.windows->SetEditSelection(box, {2, 2});
  harness->Key(platform::KeyBackspace);
  EXPECT_EQ(p.windows->EditText(box), "1");
  EXPECT_TRUE(sink.offers.empty());
  EXPECT_EQ(sink.Count("edit " + std::to_string(box)), 1);
  EXPECT_GE(sink.Count("input " + std::to_string(box)), 1);
  harness->Key(platform::KeyHome);
  harness->Type("5");
  EXPECT_EQ(p.windows->EditText(box), "51");
}

TEST_F(Contract, AReadOnlyBoxOffersNothing) {
  Show();
  platform::ChildSpec params;
  params.kind = NativeKind::EditBox;
  params.bounds = {10, 10, 120, 32};
  params.edit.readOnly = true;
  const WindowId box = p.windows->CreateChild(top, params);
  p.windows->SetVisible(box, true);
  p.windows->SetEditText(box, "123");
  p.windows->SetFocus(box);
  harness->Run(20);
  harness->Type("5");
  harness->Paste("67");
  EXPECT_TRUE(sink.offers.empty());
  EXPECT_EQ(p.windows->EditText(box), "123");
  EXPECT_EQ(sink.CountKind("edit"), 0);
}

// ---- sliders -----------------------------------------------------------------------

TEST_F(Contract, ASliderKeyIsTheUsersScrollAfterBeforeInput) {
  Show();
  const WindowId slider = Child(NativeKind::Slider, {10, 40, 153, 76});
  p.windows->SetSliderPosition(slider, 20);
  p.windows->SetFocus(slider);
  harness->Run(20);
  sink.log.clear();
  harness->Key(platform::KeyRight);
  EXPECT_EQ(p.windows->SliderPosition(slider), 21);
  ASSERT_FALSE(sink.scrolls.empty());
  EXPECT_EQ(sink.scrolls.front(), platform::ScrollCode::LineDown);
  // Each user action closes with the end-of-track notification.
  EXPECT_EQ(sink.scrolls.back(), platform::ScrollCode::EndScroll);
  const auto input = std::find(sink.log.begin(), sink.log.end(), "input " + std::to_string(slider));
  const auto scroll = std::find(sink.log.begin(), sink.log.end(), "slider " + std::to_string(slider));
  ASSERT_NE(input, sink.log.end()) << "the slider took a key without BeforeInput";
  EXPECT_LT(input, scroll);
}

// ---- the display frame ---------------------------------------------------------------

TEST_F(Contract, AFrameComesOnceForRequestsMadeWhileOneWaits) {
  Show();
  sink.log.clear();
  p.loop->RequestFrame();
  p.loop->RequestFrame();
  EXPECT_EQ(sink.Count("frame"), 0) << "a frame came inside RequestFrame";
  harness->Run(100);
  EXPECT_EQ(sink.Count("frame"), 1);
  p.loop->RequestFrame();
  harness->Run(100);
  EXPECT_EQ(sink.Count("frame"), 2);
  harness->Run(100);
  EXPECT_EQ(sink.Count("frame"), 2) << "a frame came unasked";
}

// ---- mouse ---------------------------------------------------------------------------------

TEST_F(Contract, WhileAMouseMessageIsHandledThePointerIsItsOwn) {
  Show();
  const WindowId surface = Child(NativeKind::Surface, {10, 10, 110, 110});
  harness->Run(20);
  sink.mice.clear();
  sink.pointerWhileHandled.clear();
  if (!harness->MoveThenMoveOn(surface, {20, 30}, {70, 80})) GTEST_SKIP() << "the harness cannot hold a movement back";
  harness->Run(30);
  const Rect client = p.windows->ClientRect(surface);
  const auto first = std::find_if(sink.mice.begin(), sink.mice.end(), [&](const platform::MouseMessage& m) {
    return m.target == surface && m.action == platform::MouseAction::Move && m.client == Point{20, 30};
  });
  ASSERT_NE(first, sink.mice.end()) << "the first movement did not arrive";
  const Point during = sink.pointerWhileHandled[static_cast<std::size_t>(first - sink.mice.begin())];
  EXPECT_EQ(during, (Point{client.left + 20, client.top + 30}))
      << "the pointer read while a movement was handled was not the movement's own";
  // Outside any message, the pointer is where it is now.
  EXPECT_EQ(p.screen->CursorPos(), (std::optional<Point>{Point{client.left + 70, client.top + 80}}));
}

TEST_F(Contract, OnlyACaptureTakenAwayIsReportedLost) {
  Show();
  const WindowId a = Child(NativeKind::Surface, {10, 10, 48, 48});
  harness->Run(20);
  sink.log.clear();
  p.screen->SetCapture(a);
  EXPECT_EQ(p.screen->Capture(), a);
  p.screen->ReleaseCapture();
  harness->Run(20);
  EXPECT_EQ(p.screen->Capture(), 0u);
  EXPECT_EQ(sink.CountKind("lost"), 0) << "the program's own release was reported as a loss";
  p.screen->SetCapture(a);
  harness->StealCapture();
  harness->Run(30);
  EXPECT_EQ(sink.Count("lost " + std::to_string(a)), 1);
  p.screen->ReleaseCapture();
  harness->Run(20);

  // The program moving the capture to another of its windows takes it from
  // the first, which is told; releasing it then tells nobody.
  const WindowId b = Child(NativeKind::Surface, {60, 10, 98, 48});
  harness->Run(20);
  sink.log.clear();
  p.screen->SetCapture(a);
  p.screen->SetCapture(b);
  harness->Run(20);
  EXPECT_EQ(p.screen->Capture(), b);
  EXPECT_EQ(sink.Count("lost " + std::to_string(a)), 1);
  p.screen->ReleaseCapture();
  harness->Run(20);
  EXPECT_EQ(sink.CountKind("lost"), 1);
}

TEST_F(Contract, EachMovementUnderTheCaptureReadsWhatAnotherProgramDrewBeforeIt) {
  Show();
  const WindowId a = Child(NativeKind::Surface, {10, 10, 48, 48});
  ShowReticle(a);
  // Another program's window, away from the program's, comes during the
  // drag and is painted anew twice.
  const Rect primary = p.screen->Displays().front().bounds;
  const Rect other{primary.right - 160, primary.bottom - 160, primary.right - 60, primary.bottom - 60};
  harness->Run(20);
  // Each movement reads the square around the pointer, as a pick does,
  // and keeps the pixel under it.
  std::vector<Pixel> under;
  bool released = false;
  sink.onMouse = [&](const platform::MouseMessage& m) {
    if (m.target == a && m.action == platform::MouseAction::LeftDown) p.screen->SetCapture(a);
    if (m.target == a && m.action == platform::MouseAction::LeftUp) {
      p.screen->ReleaseCapture();
      released = true;
    }
    if (m.action != platform::MouseAction::Move || released) return;
    const std::optional<Point> at = p.screen->CursorPos();
    Image square;
    if (!at || !p.screen->ReadRect({at->x - 10, at->y - 10, at->x + 11, at->y + 11}, square)) {
      under.push_back(platform::kInvalidPixel);
      return;
    }
    under.push_back(square.At(10, 10) & 0xFFFFFF);
  };
  // The path crosses the other window's place a pixel at a time; each
  // change comes between two movements, the second of which must see it,
  // though it lies well inside what the first one read.
  const Rect client = p.windows->ClientRect(a);
  const Point centre{(other.left + other.right) / 2 - client.left, (other.top + other.bottom) / 2 - client.top};
  const std::vector<Point> path{centre,
                                {centre.x + 1, centre.y},
                                {centre.x + 2, centre.y},
                                {centre.x + 3, centre.y + 1},
                                {centre.x + 3, centre.y + 2},
                                {6, 7}};
  const std::vector<Pixel> colours{0x204060, 0x30C0A0, 0x30C0A0, 0x5010F0};
  bool painted = true;
  const bool dragged = harness->DragStepwise(a, {5, 5}, path, [&](std::size_t i) {
    if (i == 0) painted = harness->PaintOtherWindow(other, 0x204060) && painted;
    if (i == 1) painted = harness->PaintOtherWindow(other, 0x30C0A0) && painted;
    if (i == 3) painted = harness->PaintOtherWindow(other, 0x5010F0) && painted;
  });
  sink.onMouse = nullptr;
  if (!dragged || !painted) GTEST_SKIP() << "the harness cannot move the pointer or draw as another program";
  EXPECT_EQ(p.screen->Capture(), 0u);
  // The last movements are the path's, one read each, in order; the first
  // read what lay there before the other window came, the last is back on
  // the holder (a release elsewhere makes the test's toolkit keep a window
  // of its own to the end of the process).
  ASSERT_GE(under.size(), path.size());
  const auto first = under.end() - static_cast<std::ptrdiff_t>(path.size()) + 1;
  const std::vector<Pixel> last(first, first + static_cast<std::ptrdiff_t>(colours.size()));
  EXPECT_EQ(last, colours) << "a movement read an older picture than the other program's drawing before it";
}

TEST_F(Contract, ADragUnderTheCaptureReachesItsHolderOnceAndLeavesNoButtonHeld) {
  Show();
  const WindowId a = Child(NativeKind::Surface, {10, 10, 48, 48});
  const WindowId b = Child(NativeKind::Surface, {60, 10, 98, 48});
  const platform::CursorId cursor = ShowReticle(a);
  harness->Run(20);
  // A press on the holder captures, its release ends the capture.
  sink.onMouse = [&](const platform::MouseMessage& m) {
    if (m.target == a && m.action == platform::MouseAction::LeftDown) p.screen->SetCapture(a);
    if (m.target == a && m.action == platform::MouseAction::LeftUp) p.screen->ReleaseCapture();
  };
  sink.mice.clear();
  sink.log.clear();
  const std::vector<Point> path{{-30, 20}, {200, 90}, {60, 5}, {6, 7}};
  if (!harness->Drag(a, {5, 5}, path)) GTEST_SKIP() << "the harness cannot move the pointer";
  sink.onMouse = nullptr;
  EXPECT_EQ(p.screen->Capture(), 0u);
  EXPECT_EQ(sink.CountKind("lost"), 0);
  // Every message went to the holder, wherever the pointer was; each
  // movement came with its own place, the button's up once.
  std::vector<Point> moves;
  int downs = 0;
  int ups = 0;
  for (const platform::MouseMessage& m : sink.mice) {
    EXPECT_EQ(m.target, a);
    if (m.action == platform::MouseAction::Move) moves.push_back(m.client);
    downs += m.action == platform::MouseAction::LeftDown ? 1 : 0;
    ups += m.action == platform::MouseAction::LeftUp ? 1 : 0;
  }
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(ups, 1) << "the release reached the program more than once";
  for (const Point& at : path) {
    EXPECT_NE(std::find(moves.begin(), moves.end(), at), moves.end()) << at.x << "," << at.y << " was not handled";
  }
  EXPECT_EQ(sink.mice.empty() ? Point{} : sink.mice.back().client, path.back());

  // The toolkit holds no button afterwards: a click elsewhere is that
  // window's, and a plain movement carries no drag to the holder.
  sink.mice.clear();
  harness->Click(b, {5, 5});
  harness->Run(20);
  int toB = 0;
  for (const platform::MouseMessage& m : sink.mice) {
    EXPECT_EQ(m.target, b);
    toB += m.action == platform::MouseAction::LeftDown || m.action == platform::MouseAction::LeftUp ? 1 : 0;
  }
  EXPECT_EQ(toB, 2);
  p.screen->SetWindowCursor(a, 0);
  p.screen->DestroyCursor(cursor);
}

TEST_F(Contract, AMouseMessageTheProgramKeepsNeverReachesTheControl) {
  Show();
  const WindowId other = Child(NativeKind::EditBox, {10, 40, 120, 62});
  const WindowId box = Child(NativeKind::EditBox, {10, 10, 120, 32});
  p.windows->SetFocus(other);
  harness->Run(20);
  ASSERT_EQ(p.windows->Focus(), other);
  sink.passMouse = false;
  harness->Click(box, {5, 5});
  harness->Run(20);
  EXPECT_EQ(p.windows->Focus(), other) << "a press the program kept reached the box";
  sink.passMouse = true;
  harness->Click(box, {5, 5});
  harness->Run(20);
  EXPECT_EQ(p.windows->Focus(), box);
}

TEST_F(Contract, AClickReachesTheProgramFirstThenFocusesTheBox) {
  Show();
  const WindowId other = Child(NativeKind::EditBox, {10, 40, 120, 62});
  const WindowId box = Child(NativeKind::EditBox, {10, 10, 120, 32});
  p.windows->SetEditText(box, "1234");
  p.windows->SetFocus(other);
  harness->Run(20);
  sink.log.clear();
  harness->Click(box, {3, 5});
  harness->Run(20);
  const auto mouse = std::find(sink.log.begin(), sink.log.end(), "mouse " + std::to_string(box));
  const auto input = std::find(sink.log.begin(), sink.log.end(), "input " + std::to_string(box));
  ASSERT_NE(mouse, sink.log.end());
  ASSERT_NE(input, sink.log.end()) << "the box took a click without BeforeInput";
  EXPECT_EQ(p.windows->Focus(), box);
  // A click near the left edge puts the caret before the first character.
  EXPECT_EQ(p.windows->EditSelection(box), (EditRange{0, 0}));
}

// ---- the loop and the window's life ---------------------------------------------------

TEST_F(Contract, APostedCommandComesFromTheLoop) {
  Show();
  sink.log.clear();
  p.loop->PostCommand(top, 4);
  EXPECT_EQ(sink.Count("command 4"), 0) << "the command came inside PostCommand";
  harness->Run(20);
  EXPECT_EQ(sink.Count("command 4"), 1);
}

TEST_F(Contract, DestroyTellsTheProgramWhileTheWindowStillExists) {
  Show();
  sink.childToCheck = Child(NativeKind::Surface, {10, 10, 48, 48});
  harness->Run(20);
  p.windows->Destroy(top);
  harness->Run(20);
  EXPECT_EQ(sink.destroyed, 1);
  EXPECT_TRUE(sink.childExistedWhileDestroyed);
  top = 0;
}

TEST_F(Contract, TheDisplaysHoldTheShownWindow) {
  Show();
  const std::vector<platform::Display> displays = p.screen->Displays();
  ASSERT_FALSE(displays.empty());
  const Rect client = p.windows->ClientRect(top);
  EXPECT_TRUE(std::any_of(displays.begin(), displays.end(), [&](const platform::Display& d) {
    return d.bounds.Contains(client.left, client.top) && d.bounds.Contains(client.right - 1, client.bottom - 1);
  }));
  for (const platform::Display& d : displays) {
    // The work area lies within the display and leaves most of it.
    EXPECT_TRUE(d.bounds.Contains(d.workArea.left, d.workArea.top));
    EXPECT_TRUE(d.bounds.Contains(d.workArea.right - 1, d.workArea.bottom - 1));
    EXPECT_GE(d.workArea.Height(), d.bounds.Height() / 2);
  }
  EXPECT_GE(p.screen->BitsPerPixel(), 16);
}

// ---- scale ---------------------------------------------------------------------------------

TEST_F(Contract, TheWindowIsShownAtItsDisplaysScale) {
  Show();
  const double scale = harness->Scale();
  EXPECT_NEAR(p.windows->Scale(top), scale, 1e-6);
  EXPECT_NEAR(p.screen->Displays().front().scale, scale, 1e-6);
  // The system's font and cursors grow with the scale.
  const int base = p.windows->DefaultGuiFont(1.0).LineHeight();
  const int scaled = p.windows->DefaultGuiFont(scale).LineHeight();
  EXPECT_GT(base, 0);
  EXPECT_GE(scaled, static_cast<int>(base * scale) - 1);
  EXPECT_LE(scaled, static_cast<int>(base * scale) + 2);
  EXPECT_GT(p.screen->CursorSize(1.0), 0);
  EXPECT_GE(p.screen->CursorSize(2.0), p.screen->CursorSize(1.0) * 3 / 2);
}

TEST_F(Contract, TheClientAreaIsTheSizeAskedInDevicePixels) {
  // Made 390 x 270: the frame around it is the system's own.
  Show();
  Rect client = p.windows->ClientRect(top);
  EXPECT_EQ(client.Width(), 390);
  EXPECT_EQ(client.Height(), 270);
  const Rect outer = p.windows->WindowRect(top);
  EXPECT_LE(outer.left, client.left);
  EXPECT_LE(outer.top, client.top);
  // Resized to odd layout lengths at the scale, as the program sizes it:
  // the frame's corner stays.
  const double s = harness->Scale();
  const int width = ui::DeviceEdge(459, s);
  const int height = ui::DeviceEdge(317, s);
  p.windows->SetClientSize(top, width, height);
  harness->Run(50);
  client = p.windows->ClientRect(top);
  EXPECT_EQ(client.Width(), width);
  EXPECT_EQ(client.Height(), height);
  EXPECT_EQ(p.windows->WindowRect(top).left, outer.left);
  EXPECT_EQ(p.windows->WindowRect(top).top, outer.top);
}

// The program places every edge at its layout place in the window rounded
// at the scale (ui/scale.h); a child's rectangle is relative to its
// parent's client area, a plain border one device pixel.
TEST_F(Contract, ChildrenLieExactlyWhereTheyArePutAndShowTheirPixelsUnstretched) {
  ShowScaled();
  const double s = harness->Scale();
  const auto device = [s](const Rect& layout) { return ui::DeviceRect(layout, s); };
  // Odd layout places; two surfaces that meet at 141, and a bordered one at
  // 17, 71 holding a child 11, 9 into its client area.
  const Rect leftAt = device({13, 7, 141, 57});
  const Rect rightAt = device({141, 7, 200, 57});
  const Rect holderAt = device({17, 71, 17 + 97, 71 + 61});
  const Rect innerAbs = device({17 + 1 + 11, 71 + 1 + 9, 17 + 1 + 11 + 33, 71 + 1 + 9 + 23});
  const Point holderClient{holderAt.left + 1, holderAt.top + 1};
  const Rect innerAt{innerAbs.left - holderClient.x, innerAbs.top - holderClient.y, innerAbs.right - holderClient.x,
                     innerAbs.bottom - holderClient.y};
  const WindowId left = Child(NativeKind::Surface, leftAt);
  const WindowId right = Child(NativeKind::Surface, rightAt);
  platform::ChildSpec framed;
  framed.bounds = holderAt;
  framed.border = true;
  const WindowId holder = p.windows->CreateChild(top, framed);
  p.windows->SetVisible(holder, true);
  platform::ChildSpec inner;
  inner.bounds = innerAt;
  const WindowId nested = p.windows->CreateChild(holder, inner);
  p.windows->SetVisible(nested, true);
  sink.fills[left] = gfx::RgbHex(0xFF0000);
  sink.fills[right] = gfx::RgbHex(0x0000FF);
  sink.fills[holder] = gfx::RgbHex(0x00FF00);
  sink.fills[nested] = gfx::RgbHex(0xFFFF00);
  for (WindowId w : {left, right, holder, nested}) p.windows->Invalidate(w);
  harness->Run(100);

  const Rect c = p.windows->ClientRect(top);
  const auto onScreen = [&c](const Rect& r) { return Rect{c.left + r.left, c.top + r.top, c.left + r.right, c.top + r.bottom}; };
  EXPECT_EQ(p.windows->ClientRect(left), onScreen(leftAt));
  EXPECT_EQ(p.windows->ClientRect(right), onScreen(rightAt));
  EXPECT_EQ(p.windows->WindowRect(holder), onScreen(holderAt));
  EXPECT_EQ(p.windows->ClientRect(holder),
            onScreen({holderAt.left + 1, holderAt.top + 1, holderAt.right - 1, holderAt.bottom - 1}));
  EXPECT_EQ(p.windows->ClientRect(nested), onScreen(innerAbs));

  // Every painted pixel lands on its own device pixel: no gap, no overlap,
  // nothing stretched by the system.
  EXPECT_EQ(p.windows->VisiblePixel(left, {leftAt.Width() - 1, leftAt.Height() - 1}), gfx::RgbHex(0xFF0000));
  EXPECT_EQ(p.windows->VisiblePixel(right, {0, 0}), gfx::RgbHex(0x0000FF));
  EXPECT_EQ(p.windows->VisiblePixel(nested, {0, 0}), gfx::RgbHex(0xFFFF00));
  EXPECT_EQ(p.windows->VisiblePixel(nested, {innerAt.Width() - 1, innerAt.Height() - 1}), gfx::RgbHex(0xFFFF00));
  if (!harness->ScreenReadable()) return;
  const auto at = [&](int x, int y) { return static_cast<Pixel>(p.screen->PixelAt({c.left + x, c.top + y})); };
  EXPECT_EQ(at(leftAt.left, leftAt.top), gfx::RgbHex(0xFF0000));
  EXPECT_EQ(at(leftAt.right - 1, leftAt.bottom - 1), gfx::RgbHex(0xFF0000));
  EXPECT_EQ(at(rightAt.left, rightAt.top), gfx::RgbHex(0x0000FF));
  EXPECT_EQ(at(rightAt.right - 1, rightAt.bottom - 1), gfx::RgbHex(0x0000FF));
  EXPECT_EQ(at(holderClient.x, holderClient.y), gfx::RgbHex(0x00FF00));
  EXPECT_EQ(at(innerAbs.left, innerAbs.top), gfx::RgbHex(0xFFFF00));
  EXPECT_EQ(at(innerAbs.right - 1, innerAbs.bottom - 1), gfx::RgbHex(0xFFFF00));
  EXPECT_EQ(at(innerAbs.right, innerAbs.bottom), gfx::RgbHex(0x00FF00));
  EXPECT_EQ(at(innerAbs.left - 1, innerAbs.top - 1), gfx::RgbHex(0x00FF00));
}

// A group frame holds windows of its own (the swatches of the program's
// history): they are shown above the frame's own drawing, their pixels as
// the program painted them, unmixed with the frame's.
TEST_F(Contract, WhatAGroupFrameHoldsIsShownAboveItAsPainted) {
  ShowScaled();
  const double s = harness->Scale();
  const Rect groupAt = ui::DeviceRect({30, 20, 230, 120}, s);
  platform::ChildSpec group;
  group.kind = NativeKind::GroupFrame;
  group.bounds = groupAt;
  const WindowId frame = p.windows->CreateChild(top, group);
  p.windows->SetVisible(frame, true);
  // A bordered surface 11, 15 units into the frame, as the program places it.
  const Rect swatchAbs = ui::DeviceRect({41, 35, 41 + 38, 35 + 38}, s);
  platform::ChildSpec inner;
  inner.bounds = {swatchAbs.left - groupAt.left, swatchAbs.top - groupAt.top, swatchAbs.right - groupAt.left,
                  swatchAbs.bottom - groupAt.top};
  inner.border = true;
  const WindowId swatch = p.windows->CreateChild(frame, inner);
  p.windows->SetVisible(swatch, true);
  sink.fills[swatch] = gfx::RgbHex(0xCC3311);
  p.windows->Invalidate(swatch);
  harness->Run(100);
  const Rect client = p.windows->ClientRect(swatch);
  const Rect c = p.windows->ClientRect(top);
  EXPECT_EQ(client, (Rect{c.left + swatchAbs.left + 1, c.top + swatchAbs.top + 1, c.left + swatchAbs.right - 1,
                          c.top + swatchAbs.bottom - 1}));
  EXPECT_EQ(p.windows->VisiblePixel(swatch, {0, 0}), gfx::RgbHex(0xCC3311));
  if (!harness->ScreenReadable()) return;
  for (const Point at : {Point{client.left, client.top}, Point{client.right - 1, client.bottom - 1},
                         Point{(client.left + client.right) / 2, (client.top + client.bottom) / 2}}) {
    EXPECT_EQ(static_cast<Pixel>(p.screen->PixelAt(at)), gfx::RgbHex(0xCC3311)) << at.x << "," << at.y;
  }
}

TEST_F(Contract, MouseMessagesComeInDevicePixelsOfTheClientArea) {
  ShowScaled();
  const double s = harness->Scale();
  const Rect bounds = ui::DeviceRect({21, 13, 21 + 151, 13 + 97}, s);
  const WindowId surface = Child(NativeKind::Surface, bounds);
  harness->Run(50);
  // Every device pixel of the surface is told apart, odd ones included.
  for (const Point point : {Point{117, 61}, Point{0, 0}, Point{bounds.Width() - 1, bounds.Height() - 1}}) {
    sink.mice.clear();
    harness->Click(surface, point);
    harness->Run(50);
    const auto down = std::find_if(sink.mice.begin(), sink.mice.end(), [](const platform::MouseMessage& m) {
      return m.action == platform::MouseAction::LeftDown;
    });
    ASSERT_NE(down, sink.mice.end());
    EXPECT_EQ(down->target, surface);
    EXPECT_EQ(down->client.x, point.x);
    EXPECT_EQ(down->client.y, point.y);
  }
}

// ---- popups --------------------------------------------------------------------------------

TEST_F(Contract, APopupGoesExactlyWhereItIsPut) {
  Show();
  const Rect primary = p.screen->Displays().front().bounds;
  // Half off the primary display's right edge: keeping it on is the
  // program's business, not the backend's.
  const Rect at{primary.right - 60, primary.top + 50, primary.right + 60, primary.top + 150};
  const WindowId popup = p.popups->CreatePopup(top, at);
  ASSERT_NE(popup, 0u);
  EXPECT_EQ(p.windows->WindowRect(popup), at);
  p.popups->DestroyPopup(popup);
}

// ---- the clipboard -------------------------------------------------------------------------

TEST_F(Contract, TheClipboardTakesGbkTextStepByStep) {
  platform::Clipboard& clipboard = *p.clipboard;

  const Text text = "#FF00\xBA\xEC";  // ends in 红
  platform::Clipboard::BlockHandle block = clipboard.Allocate(text.size() + 1);
  ASSERT_NE(block, nullptr);
  ASSERT_GE(block->Bytes().size(), text.size() + 1);
  // The block comes zero-filled, so the text ends in its 0 byte.
  EXPECT_TRUE(std::all_of(block->Bytes().begin(), block->Bytes().end(), [](std::uint8_t b) { return b == 0; }));
  std::copy(text.begin(), text.end(), block->Bytes().begin());
  ASSERT_TRUE(clipboard.Open());
  ASSERT_TRUE(clipboard.Empty());
  EXPECT_TRUE(clipboard.SetText(std::move(block)));
  clipboard.Close();
  harness->Run(20);
  EXPECT_EQ(harness->ClipboardText(), std::optional<Text>(text));
}

// ---- hot keys ------------------------------------------------------------------------------

TEST_F(Contract, AHotKeyHeldByAnotherProgramIsRefusedAndAFreeOneTaken) {
  Show();
  if (!harness->HoldHotKey(0, platform::KeyUp)) GTEST_SKIP() << "the harness cannot hold a key here";
  EXPECT_FALSE(p.hotKeys->Register(top, 7, 0, platform::KeyUp));
  harness->ReleaseHotKey(0, platform::KeyUp);
  harness->Run(20);
  EXPECT_TRUE(p.hotKeys->Register(top, 7, 0, platform::KeyDown));
  EXPECT_TRUE(p.hotKeys->Unregister(top, 7));
}

// ---- pixels --------------------------------------------------------------------------------

TEST_F(Contract, WhatASurfaceShowsIsReadBackFromTheScreen) {
  if (!harness->ScreenReadable()) GTEST_SKIP() << "no screen to read here";
  Show();
  const WindowId surface = PaintedSurface({10, 10, 60, 60}, gfx::RgbHex(0x123456));
  EXPECT_EQ(p.windows->VisiblePixel(surface, {5, 5}), gfx::RgbHex(0x123456));
  const Rect client = p.windows->ClientRect(surface);
  EXPECT_EQ(static_cast<Pixel>(p.screen->PixelAt({client.left + 5, client.top + 5})), gfx::RgbHex(0x123456));
  Image read;
  ASSERT_TRUE(p.screen->ReadRect({client.left, client.top, client.left + 4, client.top + 3}, read));
  EXPECT_EQ(read.Width(), 4);
  EXPECT_EQ(read.Height(), 3);
  EXPECT_EQ(read.At(3, 2), gfx::RgbHex(0x123456));
  // A direct drawing shows until the next repaint; its pixels stay where
  // they are until then.
  const Image drawing(2, 2, gfx::RgbHex(0xABCDEF));
  p.windows->DrawDirect(surface, drawing, {1, 1});
  harness->Run(30);
  EXPECT_EQ(p.windows->VisiblePixel(surface, {1, 1}), gfx::RgbHex(0xABCDEF));
  EXPECT_EQ(p.windows->VisiblePixel(surface, {200, 200}), platform::kInvalidPixel);
  p.windows->Invalidate(surface);
  p.windows->UpdateNow(top);
  EXPECT_EQ(p.windows->VisiblePixel(surface, {1, 1}), gfx::RgbHex(0x123456));

  // A drawing is clipped to the client area.
  const Image corner(4, 4, gfx::RgbHex(0x0A0B0C));
  p.windows->DrawDirect(surface, corner, {-2, -2});
  harness->Run(30);
  EXPECT_EQ(p.windows->VisiblePixel(surface, {1, 1}), gfx::RgbHex(0x0A0B0C));
  EXPECT_EQ(p.windows->VisiblePixel(surface, {2, 2}), gfx::RgbHex(0x123456));
  EXPECT_EQ(p.windows->VisiblePixel(surface, {-1, 0}), platform::kInvalidPixel);
}

// A read of the screen over the program's own window, right after a
// repaint, sees the new picture: whatever the system still had to draw for
// the program goes before the read, however the backend reads the screen.
TEST_F(Contract, AReadOverTheProgramsWindowRightAfterARepaintSeesTheNewPixels) {
  if (!harness->ScreenReadable()) GTEST_SKIP() << "no screen to read here";
  Show();
  const WindowId surface = PaintedSurface({10, 10, 110, 110}, gfx::RgbHex(0x808080));
  const Rect client = p.windows->ClientRect(surface);
  const Point inside{client.left + 40, client.top + 60};
  const auto repaint = [&](Pixel fill) {
    sink.fills[surface] = fill;
    p.windows->Invalidate(surface);
    p.windows->UpdateNow(top);
  };
  // Each picture is read at once, with no time for the system to catch up;
  // a read that overtook the drawing would see the one before.
  for (int i = 0; i < 48; ++i) {
    const Pixel fill = gfx::RgbPixel(5 * i, 255 - 5 * i, i % 2 == 0 ? 0x20 : 0xD0);
    repaint(fill);
    if (i % 2 == 0) {
      ASSERT_EQ(static_cast<Pixel>(p.screen->PixelAt(inside)), fill) << "picture " << i;
    } else {
      Image read;
      ASSERT_TRUE(p.screen->ReadRect({inside.x, inside.y, inside.x + 3, inside.y + 2}, read));
      ASSERT_EQ(read.At(2, 1), fill) << "picture " << i;
    }
  }
  // The same while another program holds the system to itself: the
  // drawing waits there, and the read goes after it all the same.
  for (int i = 0; i < 3; ++i) {
    const Pixel fill = gfx::RgbPixel(0x40 + 0x30 * i, 0x90, 0xE0 - 0x30 * i);
    Pixel seen = 0;
    if (!harness->HoldDisplayWhile(150, [&] {
          repaint(fill);
          seen = static_cast<Pixel>(p.screen->PixelAt(inside));
        })) {
      break;
    }
    EXPECT_EQ(seen, fill) << "held picture " << i;
  }
}

TEST_F(Contract, ASiblingLyingAboveHidesThePixelsUnderIt) {
  if (!harness->ScreenReadable()) GTEST_SKIP() << "no screen to read here";
  Show();
  // Which of two overlapping siblings lies above is the system's own order;
  // whichever it is hides the other's pixels in the overlap.
  const WindowId first = Child(NativeKind::Surface, {10, 10, 60, 60});
  const WindowId second = Child(NativeKind::Surface, {40, 40, 90, 90});
  sink.fills[first] = gfx::RgbHex(0x203040);
  sink.fills[second] = gfx::RgbHex(0x506070);
  p.windows->Invalidate(first);
  p.windows->Invalidate(second);
  p.windows->UpdateNow(top);
  harness->Run(50);
  EXPECT_EQ(p.windows->VisiblePixel(first, {5, 5}), gfx::RgbHex(0x203040));
  EXPECT_EQ(p.windows->VisiblePixel(second, {45, 45}), gfx::RgbHex(0x506070));
  // The overlap: the first's client point 45, 45 is the second's 15, 15.
  const Pixel firstThere = p.windows->VisiblePixel(first, {45, 45});
  const Pixel secondThere = p.windows->VisiblePixel(second, {15, 15});
  const bool firstAbove = firstThere == gfx::RgbHex(0x203040) && secondThere == platform::kInvalidPixel;
  const bool secondAbove = secondThere == gfx::RgbHex(0x506070) && firstThere == platform::kInvalidPixel;
  ASSERT_TRUE(firstAbove || secondAbove) << "in the overlap: " << firstThere << " and " << secondThere;
  const WindowId upper = firstAbove ? first : second;
  const WindowId lower = firstAbove ? second : first;
  const Point inLower = firstAbove ? Point{15, 15} : Point{45, 45};
  p.windows->SetVisible(upper, false);
  p.windows->UpdateNow(top);
  harness->Run(50);
  EXPECT_EQ(p.windows->VisiblePixel(lower, inLower), sink.fills[lower]);
}

// The window's own ground shows wherever no child of it lies: around its
// children from the first paint, and where a child was once it is hidden
// or has moved away.
TEST_F(Contract, TheWindowsGroundShowsWhereNoChildLies) {
  if (!harness->ScreenReadable()) GTEST_SKIP() << "no screen to read here";
  p.windows->Destroy(top);
  platform::TopLevelSpec params;
  params.caption = "ground";
  params.clientWidth = 390;
  params.clientHeight = 270;
  const Pixel ground = gfx::RgbHex(0x3366AA);
  params.background = ground;
  top = p.windows->CreateTopLevel(params);
  ASSERT_NE(top, 0u);
  Show();
  const WindowId box = Child(NativeKind::EditBox, {140, 20, 250, 42});
  const WindowId surface = PaintedSurface({20, 20, 120, 90}, gfx::RgbHex(0xEE1100));
  const Rect c = p.windows->ClientRect(top);
  const auto at = [&](int x, int y) { return static_cast<Pixel>(p.screen->PixelAt({c.left + x, c.top + y})); };
  EXPECT_EQ(at(70, 55), gfx::RgbHex(0xEE1100));
  for (const Point where : {Point{5, 5}, Point{130, 30}, Point{70, 100}, Point{c.Width() - 1, c.Height() - 1}}) {
    EXPECT_EQ(at(where.x, where.y), ground) << where.x << "," << where.y;
  }

  p.windows->SetVisible(surface, false);
  p.windows->SetBounds(box, {140, 120, 250, 142});
  p.windows->UpdateNow(top);
  harness->Run(50);
  EXPECT_EQ(at(21, 21), ground);
  EXPECT_EQ(at(70, 55), ground);
  EXPECT_EQ(at(119, 89), ground);
  EXPECT_EQ(at(195, 31), ground);
}

// ---- the system's colours -------------------------------------------------------------------

// The program gives an edit box other colours while it runs (the system's
// in high contrast): the box shows the new background at once, and nothing
// is reported.
TEST_F(Contract, AnEditBoxShowsTheColoursTheProgramGivesIt) {
  if (!harness->ScreenReadable()) GTEST_SKIP() << "no screen to read here";
  Show();
  platform::ChildSpec params;
  params.kind = NativeKind::EditBox;
  params.bounds = {10, 10, 120, 32};
  params.tabStop = true;
  params.edit.background = gfx::RgbHex(0xFFFFFF);
  params.edit.textColour = gfx::RgbHex(0x000000);
  const WindowId box = p.windows->CreateChild(top, params);
  p.windows->SetVisible(box, true);
  harness->Run(50);
  sink.log.clear();
  const Rect client = p.windows->ClientRect(box);
  // Right of the (empty) text, clear of the frame a toolkit may draw.
  const Point inside{client.Width() - 5, client.Height() / 2};
  EXPECT_EQ(p.windows->VisiblePixel(box, inside), gfx::RgbHex(0xFFFFFF));
  p.windows->SetEditColours(box, gfx::RgbHex(0x203040), gfx::RgbHex(0xFFFF00));
  harness->Run(50);
  EXPECT_EQ(p.windows->VisiblePixel(box, inside), gfx::RgbHex(0x203040));
  EXPECT_EQ(static_cast<Pixel>(p.screen->PixelAt({client.left + inside.x, client.top + inside.y})),
            gfx::RgbHex(0x203040));
  // The user's typing shows on the new background too.
  p.windows->SetFocus(box);
  harness->Type("8");
  harness->Run(50);
  EXPECT_EQ(p.windows->VisiblePixel(box, inside), gfx::RgbHex(0x203040));
  EXPECT_EQ(sink.CountKind("edit"), 1);  // the typing only
}

// The user changes the system's colours while the program runs: the program
// hears of it, and reads the new colours while it does; putting them back
// is heard of too.
TEST_F(Contract, AChangeOfTheSystemsColoursIsReportedWithTheNewColours) {
  Show();
  const platform::SystemColours before = p.windows->Colours();
  EXPECT_EQ(before.face, p.windows->FaceColour());
  if (!harness->ChangeColours()) GTEST_SKIP() << "the harness cannot change the system's colours";
  harness->Run(100);
  const platform::SystemColours changed = p.windows->Colours();
  const std::vector<platform::SystemColours> seenChanging = sink.coloursSeen;
  harness->RestoreColours();
  harness->Run(100);
  EXPECT_NE(changed.face, before.face);
  EXPECT_NE(changed.faceText, before.faceText);
  ASSERT_FALSE(seenChanging.empty()) << "the change was not reported";
  EXPECT_EQ(seenChanging.back(), changed);
  EXPECT_EQ(p.windows->Colours(), before);
  EXPECT_GT(sink.coloursSeen.size(), seenChanging.size()) << "putting the colours back was not reported";
  if (!sink.coloursSeen.empty()) {
    EXPECT_EQ(sink.coloursSeen.back(), before);
  }
}

}  // namespace
}  // namespace tinctora::contract
