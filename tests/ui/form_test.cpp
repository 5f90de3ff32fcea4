// The control layer's firing rules, on a small form of its own: which
// program writes raise which events, and when.
#include <limits>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/desktop.h"
#include "ui/form.h"

namespace tinctora::ui {
namespace {

class FormTest : public ::testing::Test {
 protected:
  FormTest() : form(desktop.Services()) {
    platform::TopLevelSpec params;
    params.caption = "test";
    params.clientWidth = 294;
    params.clientHeight = 171;
    form.AddWindow("main", params);
    EditRules rules;
    rules.maxLength = 3;
    box = &form.Add<EditBox>("box", "start", platform::EditSettings{}, rules, colour::DefaultColour);
    box->Configure({.bounds = {10, 10, 60, 30}, .shown = true, .border = true, .tabStop = true});
    platform::SliderSettings sliderSettings;
    sliderSettings.maximum = 255;
    sliderSettings.position = 1;
    slider = &form.Add<SliderBar>("slider", sliderSettings);
    slider->Configure({.bounds = {10, 40, 150, 76}, .shown = true, .border = true, .tabStop = true});
    swatch = &form.Add<PicBox>("swatch", PictureMode::Natural);
    swatch->Configure({.bounds = {10, 80, 48, 118}, .shown = true, .border = true});
    receiver = &form.Add<Label>("receiver");
    receiver->Configure({.bounds = {100, 80, 150, 100}, .shown = true});
    panel = &form.Add<DrawPanel>("panel", static_cast<ColourValue>(RgbHex(0x102030)));
    panel->Configure({.bounds = {160, 10, 200, 50}, .shown = true, .border = true});
    // A sibling made later lies above the panel's lower right corner.
    cover = &form.Add<Label>("cover");
    cover->Configure({.bounds = {190, 40, 210, 60}, .shown = true});
    form.AddMenu({"menu", {{"one"}, {"two"}}});
    form.SetObserver([this](const RaisedEvent& e) {
      if (e.delivered) log.push_back(e.control + "." + std::string(EventName(e.event)));
    });
  }

  headless::Desktop desktop;
  Form form;
  EditBox* box = nullptr;
  SliderBar* slider = nullptr;
  PicBox* swatch = nullptr;
  Label* receiver = nullptr;
  DrawPanel* panel = nullptr;
  Label* cover = nullptr;
  std::vector<std::string> log;
};

TEST_F(FormTest, CreatedRunsBeforeTheWindowIsShown) {
  std::vector<std::string> all;
  form.SetObserver([&](const RaisedEvent& e) { all.push_back(e.control + "." + std::string(EventName(e.event))); });
  bool visibleInCreated = true;
  int widthInCreated = 0;
  form.Bind("main", EventId::Created, [&](const EventArgs&) {
    visibleInCreated = desktop.Visible(form.Window().Handle());
    widthInCreated = box->Width();
    EXPECT_TRUE(form.DeliveryOn());
  });
  form.Build();
  EXPECT_FALSE(visibleInCreated);
  EXPECT_EQ(widthInCreated, 50);
  EXPECT_TRUE(desktop.Visible(form.Window().Handle()));
  EXPECT_EQ(all, (std::vector<std::string>{"main.Created", "main.Moved", "main.Resized", "main.FirstActivation",
                                           "main.Activated", "box.FocusGained"}));
  // The window is centred on the primary display and reads back where it is.
  EXPECT_EQ(form.Window().Left(), (1920 - 300) / 2);
  EXPECT_EQ(form.Window().Top(), (1080 - 200) / 2);
}

TEST_F(FormTest, EveryContentWriteRaisesOneChangeBeforeItReturns) {
  std::vector<std::string> seen;
  form.Bind("box", EventId::ContentChanged, [&](const EventArgs&) {
    seen.push_back(box->Content());
    // A write from inside the handler runs a nested handler at once.
    if (box->Content() == "1234") box->SetContent("9");
  });
  form.Build();
  box->SetContent("same");
  box->SetContent("same");
  EXPECT_EQ(seen, (std::vector<std::string>{"same", "same"}));
  seen.clear();
  // Program writes are not cut to the maximum length.
  box->SetContent("1234");
  EXPECT_EQ(seen, (std::vector<std::string>{"1234", "9"}));
  EXPECT_EQ(box->Content(), "9");
}

TEST_F(FormTest, ContentViewReadsWhatContentReadsAndAWriteMayTakeTheBoxsOwnText) {
  Text native;
  // Not made yet, waiting for the frame, and shown natively.
  EXPECT_EQ(box->ContentView(native), "start");
  form.Build();
  EXPECT_EQ(box->ContentView(native), box->Content());
  box->SetContent("a longer text than a short string holds");
  EXPECT_EQ(box->ContentView(native), "a longer text than a short string holds");
  // A write of a part of the box's own waiting text.
  box->SetContent(box->ContentView(native).substr(2, 11));
  EXPECT_EQ(box->Content(), "longer text");
  box->SetContent(box->ContentView(native));
  EXPECT_EQ(box->Content(), "longer text");
  desktop.Advance(20);
  EXPECT_EQ(desktop.EditText(box->Handle()), "longer text");
  EXPECT_EQ(box->ContentView(native), "longer text");
  box->SetContent("");
  EXPECT_EQ(box->ContentView(native), "");
}

TEST_F(FormTest, ProgramWritesOfSlidersAndColoursRaiseNothing) {
  form.Bind("slider", EventId::PositionChanged, [&](const EventArgs&) { log.push_back("unexpected"); });
  form.Build();
  log.clear();
  slider->SetPosition(300);
  EXPECT_EQ(slider->Position(), 255);
  slider->SetPosition(-5);
  EXPECT_EQ(slider->Position(), 0);
  slider->SetPosition(40000);
  EXPECT_EQ(slider->Position(), 255);
  EXPECT_TRUE(log.empty());

  // The face marker is stored as it is and painted as the face colour.
  EXPECT_EQ(swatch->BackColour(), colour::DefaultColour);
  const Rect client = desktop.ClientRect(swatch->Handle());
  EXPECT_EQ(static_cast<Pixel>(desktop.PixelAt({client.left + 5, client.top + 5})), desktop.FaceColour());
  swatch->SetBackColour(colour::InvalidColour);
  EXPECT_EQ(swatch->BackColour(), colour::InvalidColour);
  // The repaint reaches the screen with the next display frame.
  EXPECT_EQ(static_cast<Pixel>(desktop.PixelAt({client.left + 5, client.top + 5})), desktop.FaceColour());
  desktop.Advance(headless::Desktop::kFrameMs);
  EXPECT_EQ(static_cast<Pixel>(desktop.PixelAt({client.left + 5, client.top + 5})), 0xFFFFFFu);
}

TEST_F(FormTest, APanelShowsWhatIsDrawnUntilRepaintedAndReadsOnlyItsVisiblePart) {
  form.Build();
  EXPECT_EQ(panel->PixelOf(5, 5), static_cast<ColourValue>(RgbHex(0x102030)));
  Image picture(2, 2, RgbHex(0xFF0000));
  picture.Set(1, 1, RgbHex(0x00FF00));
  // Stretched to 38 x 38 over the 38 x 38 client area: quadrants of 19.
  panel->DrawPicture(picture, 0, 0, 38, 38);
  EXPECT_EQ(panel->PixelOf(5, 5), static_cast<ColourValue>(RgbHex(0xFF0000)));
  EXPECT_EQ(panel->PixelOf(25, 25), static_cast<ColourValue>(RgbHex(0x00FF00)));
  // Outside the client area, and under the sibling lying above: invalid.
  EXPECT_EQ(panel->PixelOf(38, 5), colour::InvalidColour);
  EXPECT_EQ(panel->PixelOf(-1, 5), colour::InvalidColour);
  EXPECT_EQ(panel->PixelOf(35, 35), colour::InvalidColour);
  // Drawings are not kept: covering the window and repainting loses them.
  desktop.SetActive(false);
  EXPECT_EQ(panel->PixelOf(5, 5), static_cast<ColourValue>(RgbHex(0x102030)));
}

TEST_F(FormTest, GeometryWritesAreClamped) {
  form.Build();
  swatch->SetLeft(40000);
  EXPECT_EQ(swatch->Left(), CoordinateLimit);
  swatch->SetLeft(-40000);
  EXPECT_EQ(swatch->Left(), -CoordinateLimit);
  swatch->SetWidth(-3);
  EXPECT_EQ(swatch->Width(), 0);
  swatch->Move(5, 6, -1, 50);
  EXPECT_EQ(swatch->Left(), 5);
  EXPECT_EQ(swatch->Width(), 0);
  EXPECT_EQ(swatch->Height(), 50);
}

TEST_F(FormTest, AMenuChoiceIsDeliveredAfterTheOpeningHandlerReturns) {
  std::vector<std::string> order;
  form.BindMenuItem("menu", 1, [&](const EventArgs&) { order.push_back("clicked two"); });
  form.Bind("swatch", EventId::RightButtonDown, [&](const EventArgs&) {
    form.ShowPopupMenu(*form.FindMenu("menu"));
    order.push_back("handler returns");
  });
  form.Build();
  desktop.QueueMenuAnswer(0, [](const headless::Desktop::MenuShown&) { return std::optional<int>(1); });
  const Rect client = desktop.ClientRect(swatch->Handle());
  desktop.MovePointer({client.left + 4, client.top + 7});
  desktop.Press(headless::Button::Right);
  EXPECT_EQ(order, (std::vector<std::string>{"handler returns", "clicked two"}));
  // With both coordinates omitted the menu opens 3 pixels right of and below the pointer.
  ASSERT_EQ(desktop.MenusShown().size(), 1u);
  EXPECT_EQ(desktop.MenusShown()[0].at, (Point{client.left + 7, client.top + 10}));

  // A dismissed menu raises nothing.
  order.clear();
  desktop.QueueMenuAnswer(0, [](const headless::Desktop::MenuShown&) { return std::optional<int>(); });
  desktop.Press(headless::Button::Right);
  EXPECT_EQ(order, (std::vector<std::string>{"handler returns"}));
}

TEST_F(FormTest, HotKeyIdsCountUpAndFeedbackArrivesSynchronously) {
  HotKeyService hotKeys(form);
  std::vector<int> feedback;
  form.Bind("receiver", EventId::Feedback, [&](const EventArgs& a) {
    feedback.push_back(a.feedbackA);
    EXPECT_EQ(a.feedbackB, 0);
  });
  form.Build();
  const platform::WindowId owner = form.Window().Handle();
  EXPECT_EQ(hotKeys.Register(owner, *receiver, 0, platform::KeyUp), 33001);
  // The same key again is refused by the system: the id is used up, 0 returned.
  EXPECT_EQ(hotKeys.Register(owner, *receiver, 0, platform::KeyUp), 0);
  EXPECT_EQ(hotKeys.Register(owner, *receiver, 0, platform::KeyDown), 33003);
  desktop.KeyDown(platform::KeyDown);
  desktop.KeyDown(platform::KeyUp);
  EXPECT_EQ(feedback, (std::vector<int>{33003, 33001}));
  // The system knows the keys by native ids of the service's, the refused
  // key's given back: a message with a native id it does not hold is ignored.
  EXPECT_EQ(hotKeys.NativeIdsInUse(), 2u);
  form.OnHotKey(owner, 3);
  form.OnHotKey(owner, 33003);
  EXPECT_EQ(feedback.size(), 2u);

  EXPECT_TRUE(hotKeys.Unregister(owner, 33001));
  EXPECT_FALSE(hotKeys.Unregister(owner, 0));  // the refused key
  EXPECT_TRUE(hotKeys.Watching());
  EXPECT_TRUE(hotKeys.Unregister(owner, 33003));
  EXPECT_FALSE(hotKeys.Watching());
  form.OnHotKey(owner, 2);
  EXPECT_EQ(feedback.size(), 2u);
  // The program's ids are never reused; the native ones are.
  EXPECT_EQ(hotKeys.Register(owner, *receiver, 0, platform::KeyUp), 33004);
  EXPECT_EQ(hotKeys.NativeIdsInUse(), 1u);
  desktop.KeyDown(platform::KeyUp);
  EXPECT_EQ(feedback.back(), 33004);
}

TEST_F(FormTest, MousePositionsLeftOfTheControlArriveAsUnsigned16Bit) {
  std::vector<std::pair<int, int>> moves;
  form.Bind("swatch", EventId::MouseMove, [&](const EventArgs& a) { moves.emplace_back(a.x, a.y); });
  form.Build();
  const Rect client = desktop.ClientRect(swatch->Handle());
  desktop.MovePointer({client.left + 2, client.top + 3});
  form.CaptureMouse(*swatch);
  desktop.MovePointer({client.left - 5, client.top - 1});
  form.ReleaseMouseCapture();
  EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{2, 3}, {65531, 65535}}));
}

TEST_F(FormTest, ActivatedComesAfterThePendingPaint) {
  // A handler that draws straight onto a panel must not be painted over by
  // a repaint that was waiting when the window came back to the front.
  std::vector<std::size_t> pendingAtActivation;
  form.Bind("main", EventId::Activated, [&](const EventArgs&) { pendingAtActivation.push_back(desktop.PendingPaint()); });
  form.Build();
  desktop.SetActive(false);
  ASSERT_GT(desktop.PendingPaint(), 0u);
  desktop.SetActive(true);
  EXPECT_EQ(pendingAtActivation, (std::vector<std::size_t>{0, 0}));
}

TEST_F(FormTest, EditBoxDecidesWhatATypedCharacterOrAPasteInserts) {
  using platform::Insertion;
  EditRules digits;
  digits.maxLength = 3;
  digits.digitsOnly = true;
  EditBox& channel = form.Add<EditBox>("channel", "", platform::EditSettings{}, digits, colour::DefaultColour);
  // Typed: digits and "-" fit while there is room; anything else, and every
  // control character, is refused whole.
  EXPECT_EQ(channel.AcceptedBytes("7", 2, Insertion::Typed), 1u);
  EXPECT_EQ(channel.AcceptedBytes("-", 0, Insertion::Typed), 1u);
  EXPECT_EQ(channel.AcceptedBytes("7", 3, Insertion::Typed), 0u);
  EXPECT_EQ(channel.AcceptedBytes("a", 0, Insertion::Typed), 0u);
  EXPECT_EQ(channel.AcceptedBytes("\x01", 0, Insertion::Typed), 0u);
  EXPECT_EQ(channel.AcceptedBytes("\t", 0, Insertion::Typed), 0u);
  EXPECT_EQ(channel.AcceptedBytes("\xBA\xEC", 0, Insertion::Typed), 0u);  // 红
  // Pasted: not filtered, cut at the limit and at the first line break,
  // never inside a double-byte character.
  EXPECT_EQ(channel.AcceptedBytes("ab12", 0, Insertion::Pasted), 3u);
  EXPECT_EQ(channel.AcceptedBytes("1\xBA\xEC", 1, Insertion::Pasted), 1u);
  EXPECT_EQ(channel.AcceptedBytes("\xBA\xEC" "9", 1, Insertion::Pasted), 2u);
  EXPECT_EQ(channel.AcceptedBytes("12\r\n3", 0, Insertion::Pasted), 2u);
  EXPECT_EQ(channel.AcceptedBytes("5", 3, Insertion::Pasted), 0u);

  EditBox& notation = form.Add<EditBox>("notation", "", platform::EditSettings{}, EditRules{}, colour::DefaultColour);
  EXPECT_EQ(notation.AcceptedBytes("\xBA\xEC", 40, Insertion::Typed), 2u);
  EXPECT_EQ(notation.AcceptedBytes("a", 0, Insertion::Typed), 1u);
  EXPECT_EQ(notation.AcceptedBytes(std::string(1000, 'x'), 40, Insertion::Pasted), 1000u);

  platform::EditSettings readOnly;
  readOnly.readOnly = true;
  EditBox& value = form.Add<EditBox>("value", "", readOnly, EditRules{}, colour::DefaultColour);
  EXPECT_EQ(value.AcceptedBytes("1", 0, Insertion::Typed), 0u);
  EXPECT_EQ(value.AcceptedBytes("1", 0, Insertion::Pasted), 0u);
}

TEST(Pictures, TakeFreesThePictureAndGivesItsImageBack) {
  Pictures store;
  Image image(2, 1);
  image.Set(1, 0, 0x123456);
  const int handle = store.Load(image);
  const Image taken = store.Take(handle);
  EXPECT_EQ(taken.Width(), 2);
  EXPECT_EQ(taken.At(1, 0), 0x123456u);
  EXPECT_EQ(store.Find(handle), nullptr);
  EXPECT_EQ(store.Count(), 0u);
  // No picture, or one already taken, gives an empty image.
  EXPECT_TRUE(store.Take(handle).Empty());
  EXPECT_TRUE(store.Take(0).Empty());
  // Handles go on counting after a take as after a free.
  EXPECT_EQ(store.Load(Image(1, 1)), handle + 1);
}

TEST(Pictures, HandlesWrapPastTheLargestToOne) {
  Pictures store(std::numeric_limits<int>::max() - 1);
  EXPECT_EQ(store.Load(Image(1, 1)), std::numeric_limits<int>::max());
  // The largest is still held; the count starts again at 1, never 0.
  EXPECT_EQ(store.Load(Image(1, 1)), 1);
  EXPECT_EQ(store.Load(Image(1, 1)), 2);
  EXPECT_EQ(store.Count(), 3u);
  EXPECT_NE(store.Find(std::numeric_limits<int>::max()), nullptr);
  // An empty image is no picture.
  EXPECT_EQ(store.Load(Image()), 0);
}

}  // namespace
}  // namespace tinctora::ui
