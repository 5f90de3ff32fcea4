#include "programs/runner/session.h"

#include "ui/scale.h"

#include <algorithm>
#include <fstream>
#include <span>

#include "graphics/picture.h"
#include "programs/runner/script.h"
#include "ui/controls.h"
#include "ui/events.h"

namespace tinctora::headless::runner {

void ClickAt(Desktop& desk, Point at, Button button) {
  desk.MovePointer(at);
  desk.Press(button);
  desk.Release(button);
}

// ---- modal answers --------------------------------------------------------------

namespace {

std::string Captions(std::span<const Text> items) {
  std::string out;
  for (const Text& item : items) out += (out.empty() ? "" : " ") + QuoteGbk(item);
  return out.empty() ? "no items" : out;
}

}  // namespace

void ModalAnswers::Queue(const MenuAnswer& mine) {
  Failure fail = fail_;
  desktop_.QueueMenuAnswer(mine.line, [mine, fail](const Desktop::MenuShown& shown) -> std::optional<int> {
    const std::vector<Text>& items = shown.items;
    if (mine.caption) {
      const auto it = std::find(items.begin(), items.end(), *mine.caption);
      if (it != items.end()) return static_cast<int>(it - items.begin());
      fail(mine.line, "a menu item " + QuoteGbk(*mine.caption), "a menu of " + Captions(items));
    } else if (mine.index) {
      if (*mine.index < static_cast<int>(items.size())) return mine.index;
      fail(mine.line, "a menu with an item " + std::to_string(*mine.index + 1),
           "a menu of " + std::to_string(items.size()) + " items");
    }
    return std::nullopt;
  });
}

void ModalAnswers::Queue(const PopupAnswer& mine) {
  desktop_.QueuePopupAnswer(mine.line, [mine](Desktop& desk, platform::WindowId popup) {
    using Kind = ui::ColourPopup::Choice::Kind;
    if (mine.choice.kind == Kind::Cancelled) {
      desk.KeyDown(platform::KeyEscape);
      return;
    }
    const Rect target = mine.choice.kind == Kind::Preset ? ui::ColourPopup::SwatchRect(mine.choice.index)
                                                         : ui::ColourPopup::OtherRect();
    // The popup is laid out in the layout's units and shown at the window's
    // scale: the middle of the choice, in device pixels.
    const Rect client = desk.ClientRect(popup);
    const int x = ui::DeviceOffset((target.left + target.right) / 2, client.Width(), ui::ColourPopup::kWidth, 1.0);
    const int y = ui::DeviceOffset((target.top + target.bottom) / 2, client.Height(), ui::ColourPopup::kHeight, 1.0);
    ClickAt(desk, {client.left + x, client.top + y}, Button::Left);
  });
}

std::vector<std::pair<int, std::string>> ModalAnswers::TakeUnused(std::optional<int> line) {
  std::vector<std::pair<int, std::string>> unused;
  for (const auto& [origin, kind] : desktop_.TakeUnusedAnswers(line)) {
    switch (kind) {
      case Desktop::ModalKind::Menu: unused.emplace_back(origin, "a popup menu"); break;
      case Desktop::ModalKind::Popup: unused.emplace_back(origin, "the colour popup"); break;
      case Desktop::ModalKind::Dialog: unused.emplace_back(origin, "the colour dialog"); break;
    }
  }
  std::sort(unused.begin(), unused.end());
  return unused;
}

// ---- the session ------------------------------------------------------------------

Session::Session(std::ostream& output, std::ostream& diagnostics, const RunOptions& options)
    : output_(output), diagnostics_(diagnostics), options_(options),
      dialogs_(desktop_, [this](int line, const std::string& e, const std::string& g) { Fail(line, e, g); }) {}

app::Program& Session::Program() {
  if (!program_) Refuse("the program has not been started (no `start` before this line)");
  return *program_;
}

ui::Control& Session::Control(const std::string& name) {
  ui::Control* control = Form().Find(name);
  if (control == nullptr) Refuse("no control named " + name);
  return *control;
}

platform::WindowId Session::Handle(const std::string& name) {
  ui::Control& control = Control(name);
  if (control.Handle() == 0) Refuse("the control " + name + " has no window");
  return control.Handle();
}

Point Session::ClientToScreen(const std::string& name, std::optional<Point> client) {
  const Rect r = desktop_.ClientRect(Handle(name));
  const Point p = client.value_or(Point{r.Width() / 2, r.Height() / 2});
  return {r.left + p.x, r.top + p.y};
}

std::string Session::NameOf(platform::WindowId handle) {
  if (handle == 0) return "none";
  if (program_) {
    for (const auto& control : program_->Form().Controls()) {
      if (control->Handle() == handle) return control->Name();
    }
  }
  return "a window that is no control";
}

void Session::Start() {
  if (program_) Refuse("the program has already been started");
  const platform::Platform system = desktop_.Services();
  program_ = std::make_unique<app::Program>(system);
  // Installed before the window is built, so the events of the build are seen.
  program_->Form().SetObserver([this](const ui::RaisedEvent& e) { Record(e); });
  program_->Start();
}

void Session::Record(const ui::RaisedEvent& e) {
  if (eventLog_ == EventLog::Off || (eventLog_ == EventLog::Delivered && !e.delivered)) return;
  events_.push_back(e.control + "." + std::string(ui::EventName(e.event)));
}

Image Session::ClientImage(const std::string& name) {
  // The user looks once the screen has caught up with the program.
  desktop_.Settle();
  const Rect r = desktop_.ClientRect(Handle(name));
  Image out(r.Width(), r.Height());
  for (int y = 0; y < r.Height(); ++y) {
    for (int x = 0; x < r.Width(); ++x) out.Set(x, y, desktop_.ShownPixel({r.left + x, r.top + y}));
  }
  return out;
}

const Image* Session::KeptImage(const std::string& label) const {
  const auto it = kept_.find(label);
  return it == kept_.end() ? nullptr : &it->second;
}

void Session::Fail(int line, const std::string& expected, const std::string& got) {
  ++failures_;
  diagnostics_ << options_.scriptName << ':' << line << ": expected " << expected << ", got " << got << '\n';
}

void Session::ReportUnusedAnswers(std::optional<int> line) {
  for (const auto& [origin, what] : dialogs_.TakeUnused(line)) Fail(origin, "the program to open " + what, "nothing");
}

void Session::Print(const std::string& label, const std::string& value) {
  output_ << options_.scriptName << ':' << line_ << ": " << label << " = " << value << '\n';
}

void Session::Error(int line, const std::string& message) {
  diagnostics_ << options_.scriptName << ':' << line << ": error: " << message << '\n';
}

void Session::SaveScreen(const std::string& file, std::optional<Rect> area) {
  const Rect r = area.value_or(desktop_.PrimaryDisplay());
  desktop_.Settle();
  const std::vector<std::uint8_t> png = gfx::EncodePng(desktop_.Render(r));
  std::ofstream out(file, std::ios::binary);
  if (png.empty() || !out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()))) {
    Refuse("cannot write the screen to " + file);
  }
}

}  // namespace tinctora::headless::runner
