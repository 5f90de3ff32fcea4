#include "platform/headless/runner/runner.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <ostream>
#include <span>
#include <sstream>
#include <utility>
#include <variant>
#include <vector>

#include "app/program.h"
#include "colour/gbk.h"
#include "context/context.h"
#include "platform/headless/desktop.h"
#include "ui/controls.h"
#include "ui/events.h"
#include "ui/form.h"
#include "graphics/image.h"
#include "graphics/picture.h"

namespace tinctora::headless::runner {

namespace {

using colour::ColourValue;

constexpr std::uint32_t kInvalidColour = 0xFFFFFFFFu;
constexpr std::uint32_t kDefaultColour = 0xFF000000u;
constexpr std::string_view kChooser = "颜色选择器1";

// A script that cannot be run as written: a malformed line, or a line that
// asks for something that does not exist (a control, a file, the program
// before `start`).
struct ScriptError {
  std::string message;
};

[[noreturn]] void Refuse(std::string message) { throw ScriptError{std::move(message)}; }

// ---- tokens -------------------------------------------------------------------

struct Token {
  std::string text;  // UTF-8, escapes resolved
  bool quoted = false;
};

// Splits a line into words and quoted strings; `#` outside a string starts a
// comment. Strings know the escapes \" \\ \n \r \t.
std::vector<Token> Tokenize(std::string_view line) {
  std::vector<Token> tokens;
  std::size_t at = 0;
  while (at < line.size()) {
    const char c = line[at];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++at;
      continue;
    }
    if (c == '#') break;
    Token token;
    if (c == '"') {
      token.quoted = true;
      ++at;
      bool closed = false;
      while (at < line.size()) {
        const char d = line[at++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d != '\\') {
          token.text.push_back(d);
          continue;
        }
        if (at >= line.size()) break;
        const char e = line[at++];
        switch (e) {
          case '"': token.text.push_back('"'); break;
          case '\\': token.text.push_back('\\'); break;
          case 'n': token.text.push_back('\n'); break;
          case 'r': token.text.push_back('\r'); break;
          case 't': token.text.push_back('\t'); break;
          default: Refuse(std::string("unknown escape \\") + e + " in a string");
        }
      }
      if (!closed) Refuse("a string without its closing quote");
      if (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r' && line[at] != '#') {
        Refuse("text straight after a closing quote");
      }
    } else {
      while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') {
        if (line[at] == '"') Refuse("a quote inside a word");
        token.text.push_back(line[at++]);
      }
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

// ---- values ---------------------------------------------------------------------

// What a query observes and what an expectation states, compared by kind and
// content. Texts hold GBK bytes, as the program does.
struct Value {
  enum class Kind { Integer, Text, Colour, Word, List };
  Kind kind = Kind::Word;
  long long number = 0;  // Integer; Colour as the raw 32-bit value
  std::string text;      // Text (GBK) or Word
  std::vector<Value> items;

  static Value Integer(long long n) { return {Kind::Integer, n, {}, {}}; }
  static Value Gbk(Text t) { return {Kind::Text, 0, std::move(t), {}}; }
  static Value Colour(std::uint32_t raw) { return {Kind::Colour, static_cast<long long>(raw), {}, {}}; }
  static Value Word(std::string w) { return {Kind::Word, 0, std::move(w), {}}; }
  static Value List(std::vector<Value> items) { return {Kind::List, 0, {}, std::move(items)}; }

  friend bool operator==(const Value& a, const Value& b) {
    return a.kind == b.kind && a.number == b.number && a.text == b.text && a.items == b.items;
  }
};

void AppendEscaped(std::string& out, unsigned char c) {
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
  }
  if (c < 0x20 || c == 0x7F) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    out += buf;
  } else {
    out.push_back(static_cast<char>(c));
  }
}

// A text as a script would write it: quoted, UTF-8, with escapes. A
// character that is not GBK shows its bytes as \xNN.
std::string QuoteGbk(const Text& gbk) {
  std::string out = "\"";
  const TextView text = gbk;
  for (std::size_t at = 0; at < text.size();) {
    const TextView character = text.substr(at, colour::GbkCharLength(text, at));
    at += character.size();
    if (const auto utf8 = colour::GbkToUtf8Exact(character)) {
      for (unsigned char c : *utf8) AppendEscaped(out, c);
      continue;
    }
    for (unsigned char c : character) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out + "\"";
}

// A colour as scripts write it: RRGGBB when the top byte is 0, else the raw value.
std::string ShowColour(std::uint32_t raw) {
  char buf[16];
  if ((raw >> 24) == 0) {
    std::snprintf(buf, sizeof buf, "%02X%02X%02X", raw & 0xFF, (raw >> 8) & 0xFF, (raw >> 16) & 0xFF);
  } else {
    std::snprintf(buf, sizeof buf, "0x%08X", raw);
  }
  return buf;
}

std::string Show(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return std::to_string(v.number);
    case Value::Kind::Text: return QuoteGbk(v.text);
    case Value::Kind::Colour: return ShowColour(static_cast<std::uint32_t>(v.number));
    case Value::Kind::Word: return v.text;
    case Value::Kind::List: {
      if (v.items.empty()) return "(nothing)";
      std::string out;
      for (const Value& item : v.items) {
        if (!out.empty()) out += ' ';
        out += Show(item);
      }
      return out;
    }
  }
  return "?";
}

// The kinds of value an expectation can state.
enum class ValueKind { Integer, Text, Colour, YesNo };

// ---- parsing the words of a line ---------------------------------------------------

bool IsHex(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

std::optional<long long> ParseDecimal(std::string_view s) {
  std::size_t at = 0;
  bool negative = false;
  if (at < s.size() && (s[at] == '-' || s[at] == '+')) negative = s[at++] == '-';
  if (at == s.size() || s.size() - at > 12) return std::nullopt;
  long long value = 0;
  for (; at < s.size(); ++at) {
    if (s[at] < '0' || s[at] > '9') return std::nullopt;
    value = value * 10 + (s[at] - '0');
  }
  return negative ? -value : value;
}

std::optional<std::uint32_t> ParseHex(std::string_view digits) {
  if (!IsHex(digits) || digits.size() > 8) return std::nullopt;
  return static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
}

struct KeyName {
  std::string_view name;
  int code;
};
constexpr KeyName kKeys[] = {
    {"Up", platform::KeyUp},     {"Down", platform::KeyDown}, {"Left", platform::KeyLeft},
    {"Right", platform::KeyRight}, {"Esc", platform::KeyEscape}, {"PageUp", 0x21},
    {"PageDown", 0x22},          {"End", 0x23},               {"Home", 0x24},
    {"Backspace", 0x08},
};

// The words of one line after the command, taken from the left.
class Args {
 public:
  explicit Args(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool AtEnd() const { return next_ >= tokens_.size(); }
  std::size_t Position() const { return next_; }
  // The words from `from` up to the current one, as the script wrote them.
  std::string Span(std::size_t from) const {
    std::string out;
    for (std::size_t i = from; i < next_ && i < tokens_.size(); ++i) {
      if (!out.empty()) out += ' ';
      out += tokens_[i].quoted ? "\"" + tokens_[i].text + "\"" : tokens_[i].text;
    }
    return out;
  }
  const Token* Peek() const { return AtEnd() ? nullptr : &tokens_[next_]; }
  bool PeekWord(std::string_view word) const { return !AtEnd() && !tokens_[next_].quoted && tokens_[next_].text == word; }
  bool PeekQuoted() const { return !AtEnd() && tokens_[next_].quoted; }
  bool PeekInteger() const { return !AtEnd() && !tokens_[next_].quoted && ParseDecimal(tokens_[next_].text).has_value(); }

  const Token& Take(std::string_view what) {
    if (AtEnd()) Refuse("missing " + std::string(what));
    return tokens_[next_++];
  }
  std::string Word(std::string_view what) {
    const Token& t = Take(what);
    if (t.quoted) Refuse("expected " + std::string(what) + " without quotes, got \"" + t.text + "\"");
    return t.text;
  }
  // One of the given words.
  std::string OneOf(std::string_view what, std::initializer_list<std::string_view> words) {
    const std::string w = Word(what);
    for (std::string_view candidate : words) {
      if (w == candidate) return w;
    }
    std::string list;
    for (std::string_view candidate : words) list += (list.empty() ? "" : "|") + std::string(candidate);
    Refuse("expected " + std::string(what) + " (" + list + "), got " + w);
  }
  bool TakeWord(std::string_view word) {
    if (!PeekWord(word)) return false;
    ++next_;
    return true;
  }
  // A control's layout name, with or without quotes.
  std::string Name(std::string_view what) { return Take(what).text; }
  int Integer(std::string_view what) {
    const std::string w = Word(what);
    const auto n = ParseDecimal(w);
    if (!n || *n < -2147483648LL || *n > 2147483647LL) Refuse("expected " + std::string(what) + " as an integer, got " + w);
    return static_cast<int>(*n);
  }
  int Count(std::string_view what) {
    const int n = Integer(what);
    if (n < 0) Refuse(std::string(what) + " must not be negative");
    return n;
  }
  // A quoted text, converted to GBK.
  Text String(std::string_view what) {
    const Token& t = Take(what);
    if (!t.quoted) Refuse("expected " + std::string(what) + " in double quotes, got " + t.text);
    auto gbk = colour::Utf8ToGbkExact(t.text);
    if (!gbk) Refuse("the text \"" + t.text + "\" has characters GBK cannot hold");
    return *gbk;
  }
  // RRGGBB: six hexadecimal digits, red first.
  ui::Pixel Rgb(std::string_view what) {
    const std::string w = Word(what);
    if (w.size() != 6 || !IsHex(w)) Refuse("expected " + std::string(what) + " as RRGGBB, got " + w);
    return ui::RgbHex(*ParseHex(w));
  }
  // A colour property value: RRGGBB (top byte 0), 0xXXXXXXXX or a decimal
  // number (the raw value), `invalid` (FFFFFFFF) or `default` (FF000000).
  std::uint32_t Colour(std::string_view what) {
    const std::string w = Word(what);
    if (w == "invalid") return kInvalidColour;
    if (w == "default") return kDefaultColour;
    if (w.size() == 6 && IsHex(w)) return ui::RgbHex(*ParseHex(w));
    if (w.size() > 2 && (w.starts_with("0x") || w.starts_with("0X"))) {
      if (auto raw = ParseHex(std::string_view(w).substr(2))) return *raw;
    } else if (auto n = ParseDecimal(w); n && *n >= -2147483648LL && *n <= 4294967295LL) {
      return static_cast<std::uint32_t>(*n);
    }
    Refuse("expected " + std::string(what) + " as RRGGBB, 0xXXXXXXXX or a decimal number, got " + w);
  }
  int Key(std::string_view what) {
    const std::string w = Word(what);
    for (const KeyName& key : kKeys) {
      if (w == key.name) return key.code;
    }
    if (w.size() > 2 && w.starts_with("0x")) {
      if (auto n = ParseHex(std::string_view(w).substr(2)); n && *n <= 0xFF) return static_cast<int>(*n);
    } else if (auto n = ParseDecimal(w); n && *n >= 0 && *n <= 0xFF) {
      return static_cast<int>(*n);
    }
    Refuse("unknown key " + w + " (Up Down Left Right Esc PageUp PageDown Home End Backspace, or a code)");
  }
  bool OnOff(std::string_view what) { return OneOf(what, {"on", "off"}) == "on"; }
  platform::Point Point(std::string_view what) {
    const int x = Integer(std::string(what) + " x");
    const int y = Integer(std::string(what) + " y");
    return {x, y};
  }
  ui::Rect Rect(std::string_view what) {
    const int x = Integer(std::string(what) + " x");
    const int y = Integer(std::string(what) + " y");
    const int w = Count(std::string(what) + " width");
    const int h = Count(std::string(what) + " height");
    return {x, y, x + w, y + h};
  }
  void End() {
    if (!AtEnd()) Refuse("unexpected " + (tokens_[next_].quoted ? "\"" + tokens_[next_].text + "\"" : tokens_[next_].text));
  }

 private:
  std::vector<Token> tokens_;
  std::size_t next_ = 0;
};

Value ParseExpected(ValueKind kind, Args& args) {
  switch (kind) {
    case ValueKind::Integer: return Value::Integer(args.Integer("the value"));
    case ValueKind::Text: return Value::Gbk(args.String("the value"));
    case ValueKind::Colour: return Value::Colour(args.Colour("the value"));
    case ValueKind::YesNo: return Value::Word(args.OneOf("the value", {"yes", "no"}));
  }
  return {};
}

// ---- modal answers --------------------------------------------------------------

// The answers a script gives for the modal choices the program opens. Each
// is queued with the desktop as what the simulated user does when the
// choice opens; the line that gave it is its origin, so an answer nothing
// used is reported there.
class ModalAnswers {
 public:
  using Failure = std::function<void(int line, const std::string& expected, const std::string& got)>;

  struct MenuAnswer {
    int line = 0;
    std::optional<int> index;     // from 0
    std::optional<Text> caption;  // GBK; looked up in the menu shown
  };
  struct PopupAnswer {
    int line = 0;
    ui::ColourPopup::Choice choice;
  };
  struct DialogAnswer {
    int line = 0;
    std::optional<ColourValue> colour;  // nothing: cancel
  };

  ModalAnswers(Desktop& desktop, Failure fail) : desktop_(desktop), fail_(std::move(fail)) {}

  void Queue(const MenuAnswer& mine) {
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

  // The user points at the choice in the open popup and clicks it; Escape
  // closes it without one.
  void Queue(const PopupAnswer& mine) {
    desktop_.QueuePopupAnswer(mine.line, [mine](Desktop& desk, platform::WindowId popup) {
      using Kind = ui::ColourPopup::Choice::Kind;
      if (mine.choice.kind == Kind::Cancelled) {
        desk.KeyDown(platform::KeyEscape);
        return;
      }
      const ui::Rect target = mine.choice.kind == Kind::Preset ? ui::ColourPopup::SwatchRect(mine.choice.index)
                                                               : ui::ColourPopup::OtherRect();
      const ui::Rect client = desk.ClientRect(popup);
      desk.MovePointer({client.left + (target.left + target.right) / 2, client.top + (target.top + target.bottom) / 2});
      desk.Press(Button::Left);
      desk.Release(Button::Left);
    });
  }

  void Queue(const DialogAnswer& mine) { desktop_.QueueDialogAnswer(mine.line, mine.colour); }

  // Removes the answers that a line queued and nothing used, naming what
  // should have opened for each.
  std::vector<std::pair<int, std::string>> TakeUnused(std::optional<int> line = std::nullopt) {
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

 private:
  static std::string Captions(std::span<const Text> items) {
    std::string out;
    for (const Text& item : items) out += (out.empty() ? "" : " ") + QuoteGbk(item);
    return out.empty() ? "no items" : out;
  }

  Desktop& desktop_;
  Failure fail_;
};

// ---- the session: the desktop, the program and what was recorded ----------------

class Session {
 public:
  enum class EventLog { Off, Delivered, All };

  Session(std::ostream& output, std::ostream& diagnostics, const RunOptions& options)
      : output_(output), diagnostics_(diagnostics), options_(options),
        dialogs_(desktop_, [this](int line, const std::string& e, const std::string& g) { Fail(line, e, g); }) {}

  Desktop& Desk() { return desktop_; }
  ModalAnswers& Answers() { return dialogs_; }
  const RunOptions& Options() const { return options_; }
  bool Started() const { return program_ != nullptr; }
  int Line() const { return line_; }
  void SetLine(int line) { line_ = line; }

  app::Program& Program() {
    if (!program_) Refuse("the program has not been started (no `start` before this line)");
    return *program_;
  }
  ui::Form& Form() { return Program().Form(); }
  ui::Control& Control(const std::string& name) {
    ui::Control* control = Form().Find(name);
    if (control == nullptr) Refuse("no control named " + name);
    return *control;
  }
  platform::WindowId Handle(const std::string& name) {
    ui::Control& control = Control(name);
    if (control.Handle() == 0) Refuse("the control " + name + " has no window");
    return control.Handle();
  }
  // A point of a control's client area in screen coordinates; its centre by default.
  platform::Point ClientToScreen(const std::string& name, std::optional<platform::Point> client) {
    const ui::Rect r = desktop_.ClientRect(Handle(name));
    const platform::Point p = client.value_or(platform::Point{r.Width() / 2, r.Height() / 2});
    return {r.left + p.x, r.top + p.y};
  }
  std::string NameOf(platform::WindowId handle) {
    if (handle == 0) return "none";
    if (program_) {
      for (const auto& control : program_->Form().Controls()) {
        if (control->Handle() == handle) return control->Name();
      }
    }
    return "a window that is no control";
  }

  void Start() {
    if (program_) Refuse("the program has already been started");
    const platform::Platform system = desktop_.Services();
    program_ = std::make_unique<app::Program>(system);
    // Installed before the window is built, so the events of the build are seen.
    program_->Form().SetObserver([this](const ui::RaisedEvent& e) { Record(e); });
    program_->Start();
  }

  void SetEventLog(EventLog mode) { eventLog_ = mode; }

  // What a control's client area shows on the screen now.
  ui::Image ClientImage(const std::string& name) {
    const ui::Rect r = desktop_.ClientRect(Handle(name));
    ui::Image out(r.Width(), r.Height());
    for (int y = 0; y < r.Height(); ++y) {
      for (int x = 0; x < r.Width(); ++x) out.Set(x, y, desktop_.PixelAt({r.left + x, r.top + y}));
    }
    return out;
  }
  void KeepImage(const std::string& label, ui::Image image) { kept_[label] = std::move(image); }
  const ui::Image* KeptImage(const std::string& label) const {
    const auto it = kept_.find(label);
    return it == kept_.end() ? nullptr : &it->second;
  }
  void ClearEvents() { events_.clear(); }
  const std::vector<std::string>& Events() const { return events_; }

  void Fail(int line, const std::string& expected, const std::string& got) {
    ++failures_;
    diagnostics_ << options_.scriptName << ':' << line << ": expected " << expected << ", got " << got << '\n';
  }
  void Pass() { ++passes_; }
  void Print(const std::string& label, const std::string& value) {
    output_ << options_.scriptName << ':' << line_ << ": " << label << " = " << value << '\n';
  }
  void Error(int line, const std::string& message) {
    diagnostics_ << options_.scriptName << ':' << line << ": error: " << message << '\n';
  }
  int Failures() const { return failures_; }
  int Passes() const { return passes_; }

  void SaveScreen(const std::string& file, std::optional<ui::Rect> area) {
    const ui::Rect r = area.value_or(desktop_.PrimaryDisplay());
    const std::vector<std::uint8_t> png = ui::EncodePng(desktop_.Render(r));
    std::ofstream out(file, std::ios::binary);
    if (png.empty() || !out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()))) {
      Refuse("cannot write the screen to " + file);
    }
  }

 private:
  void Record(const ui::RaisedEvent& e) {
    if (eventLog_ == EventLog::Off || (eventLog_ == EventLog::Delivered && !e.delivered)) return;
    events_.push_back(e.control + "." + std::string(ui::EventName(e.event)));
  }

  std::ostream& output_;
  std::ostream& diagnostics_;
  RunOptions options_;
  Desktop desktop_;
  ModalAnswers dialogs_;
  std::unique_ptr<app::Program> program_;  // destroyed before the desktop it runs on
  EventLog eventLog_ = EventLog::Delivered;
  std::vector<std::string> events_;
  std::map<std::string, ui::Image> kept_;
  int line_ = 0;
  int failures_ = 0;
  int passes_ = 0;
};

using Action = std::function<void(Session&)>;

// ---- queries ------------------------------------------------------------------------

struct Query {
  std::function<Value(Session&)> read;
  // Reads the expected value from the rest of the line.
  std::function<Value(Args&)> expected;
};

std::function<Value(Args&)> Expect(ValueKind kind) {
  return [kind](Args& args) { return ParseExpected(kind, args); };
}

// Control properties by the control's kind and the property's name; a row
// without a kind applies to every control.
struct PropertyRow {
  std::optional<ui::ControlKind> kind;
  std::string_view name;
  ValueKind value;
  Value (*read)(Session&, const ui::Control&);
};

template <class T>
const T& As(const ui::Control& c) {
  return static_cast<const T&>(c);
}

std::uint32_t Raw(ColourValue v) { return static_cast<std::uint32_t>(v); }

using K = ui::ControlKind;
const PropertyRow kProperties[] = {
    {std::nullopt, "Left", ValueKind::Integer, [](Session&, const ui::Control& c) { return Value::Integer(c.Left()); }},
    {std::nullopt, "Top", ValueKind::Integer, [](Session&, const ui::Control& c) { return Value::Integer(c.Top()); }},
    {std::nullopt, "Width", ValueKind::Integer, [](Session&, const ui::Control& c) { return Value::Integer(c.Width()); }},
    {std::nullopt, "Height", ValueKind::Integer, [](Session&, const ui::Control& c) { return Value::Integer(c.Height()); }},
    {std::nullopt, "Cursor", ValueKind::Integer,
     [](Session&, const ui::Control& c) { return Value::Integer(static_cast<long long>(c.Cursor().size())); }},
    {std::nullopt, "Visible", ValueKind::YesNo,
     [](Session& s, const ui::Control& c) { return Value::Word(s.Desk().Visible(c.Handle()) ? "yes" : "no"); }},
    {K::Window, "Caption", ValueKind::Text,
     [](Session&, const ui::Control& c) { return Value::Gbk(As<ui::MainWindow>(c).Caption()); }},
    {K::Label, "Caption", ValueKind::Text, [](Session&, const ui::Control& c) { return Value::Gbk(As<ui::Label>(c).Caption()); }},
    {K::Label, "GradientColour2", ValueKind::Colour,
     [](Session&, const ui::Control& c) { return Value::Colour(Raw(As<ui::Label>(c).GradientColour2())); }},
    {K::EditBox, "Content", ValueKind::Text,
     [](Session&, const ui::Control& c) { return Value::Gbk(As<ui::EditBox>(c).Content()); }},
    {K::PicBox, "BackColour", ValueKind::Colour,
     [](Session&, const ui::Control& c) { return Value::Colour(Raw(As<ui::PicBox>(c).BackColour())); }},
    {K::PicBox, "Picture", ValueKind::Integer,
     [](Session&, const ui::Control& c) { return Value::Integer(static_cast<long long>(As<ui::PicBox>(c).Picture().size())); }},
    {K::SliderBar, "Position", ValueKind::Integer,
     [](Session&, const ui::Control& c) { return Value::Integer(As<ui::SliderBar>(c).Position()); }},
    {K::ColorPicker, "Colour", ValueKind::Colour,
     [](Session&, const ui::Control& c) { return Value::Colour(Raw(As<ui::ColorPicker>(c).Colour())); }},
};

Query PropertyQuery(const std::string& control, const std::string& property) {
  const auto named = std::find_if(std::begin(kProperties), std::end(kProperties),
                                  [&](const PropertyRow& row) { return row.name == property; });
  if (named == std::end(kProperties)) Refuse("unknown property " + property + " (of " + control + ")");
  Query q;
  q.expected = Expect(named->value);
  q.read = [control, property](Session& s) {
    const ui::Control& c = s.Control(control);
    for (const PropertyRow& row : kProperties) {
      if (row.name == property && (!row.kind || *row.kind == c.Kind())) return row.read(s, c);
    }
    Refuse(control + " (" + std::string(ui::KindName(c.Kind())) + ") has no property " + property);
  };
  return q;
}

// Program-wide state by name.
struct StateRow {
  std::string_view name;
  ValueKind value;
  Value (*read)(const context::State&);
};
const StateRow kState[] = {
    {"PickActive", ValueKind::Integer, [](const context::State& s) { return Value::Integer(s.PickActive); }},
    {"ZoomImage", ValueKind::Integer, [](const context::State& s) { return Value::Integer(s.ZoomImage); }},
    {"StripHoldFlag", ValueKind::Integer, [](const context::State& s) { return Value::Integer(s.StripHoldFlag); }},
    {"SliderEchoGuard", ValueKind::Integer, [](const context::State& s) { return Value::Integer(s.SliderEchoGuard); }},
    {"MenuColour", ValueKind::Colour, [](const context::State& s) { return Value::Colour(Raw(s.MenuColour)); }},
    {"HistoryColours.size", ValueKind::Integer,
     [](const context::State& s) { return Value::Integer(static_cast<long long>(s.HistoryColours.size())); }},
    {"NotationTable.size", ValueKind::Integer,
     [](const context::State& s) { return Value::Integer(static_cast<long long>(s.NotationTable.size())); }},
};

std::string JoinIds(const std::array<int, 4>& ids) {
  std::string out;
  for (int id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
  return out;
}

Query StateQuery(const std::string& name) {
  Query q;
  for (const StateRow& row : kState) {
    if (row.name == name) {
      q.expected = Expect(row.value);
      q.read = [read = row.read](Session& s) { return read(s.Program().GetState()); };
      return q;
    }
  }
  if (name == "NudgeKeyIds") {
    q.expected = [](Args& args) {
      const std::string w = args.Word("the four ids as a,b,c,d");
      std::array<int, 4> ids{};
      std::stringstream in(w);
      std::string part;
      std::size_t n = 0;
      while (std::getline(in, part, ',')) {
        const auto id = ParseDecimal(part);
        if (!id || n >= ids.size()) Refuse("expected the four ids as a,b,c,d, got " + w);
        ids[n++] = static_cast<int>(*id);
      }
      if (n != ids.size()) Refuse("expected the four ids as a,b,c,d, got " + w);
      return Value::Word(JoinIds(ids));
    };
    q.read = [](Session& s) { return Value::Word(JoinIds(s.Program().GetState().NudgeKeyIds)); };
    return q;
  }
  // HistoryColours[k] and NotationTable[k]
  const std::size_t open = name.find('[');
  if (open != std::string::npos && name.back() == ']') {
    const std::string list = name.substr(0, open);
    const auto index = ParseDecimal(name.substr(open + 1, name.size() - open - 2));
    if (index && *index >= 0 && (list == "HistoryColours" || list == "NotationTable")) {
      const bool history = list == "HistoryColours";
      // History entries are counted from 1, as the program names them; the
      // notation table's from 0.
      if (history && *index == 0) Refuse("HistoryColours entries are counted from 1");
      const auto k = static_cast<std::size_t>(history ? *index - 1 : *index);
      q.expected = Expect(history ? ValueKind::Colour : ValueKind::Text);
      q.read = [k, history](Session& s) {
        const context::State& state = s.Program().GetState();
        const std::size_t size = history ? state.HistoryColours.size() : state.NotationTable.size();
        if (k >= size) {
          return Value::Word("no entry " + std::to_string(history ? k + 1 : k) + " (the list has " +
                             std::to_string(size) + ")");
        }
        return history ? Value::Colour(Raw(state.HistoryColours[k])) : Value::Gbk(state.NotationTable[k]);
      };
      return q;
    }
  }
  Refuse("unknown state " + name +
         " (PickActive ZoomImage StripHoldFlag SliderEchoGuard MenuColour NudgeKeyIds HistoryColours[k] "
         "HistoryColours.size NotationTable[k] NotationTable.size)");
}

Value Nothing(const std::string& what) { return Value::Word(what); }

Query ParseQuery(Args& args) {
  const std::string what = args.Word("what to check");
  Query q;
  if (what == "state") return StateQuery(args.Word("the state's name"));
  if (what == "pixel" || what == "client-pixel") {
    std::string control;
    if (what == "client-pixel") control = args.Name("the control's name");
    const platform::Point p = args.Point("the point");
    q.expected = Expect(ValueKind::Colour);
    q.read = [control, p](Session& s) {
      const platform::Point at = control.empty() ? p : s.ClientToScreen(control, p);
      return Value::Colour(Raw(s.Desk().PixelAt(at)));
    };
    return q;
  }
  if (what == "clipboard") {
    q.expected = [](Args& a) {
      if (a.TakeWord("none")) return Value::Word("none");
      if (a.TakeWord("empty")) return Value::Gbk("");
      return Value::Gbk(a.String("the expected clipboard text"));
    };
    q.read = [](Session& s) {
      const auto text = s.Desk().ClipboardService().Contents();
      return text ? Value::Gbk(*text) : Value::Word("none");
    };
    return q;
  }
  if (what == "pointer") {
    q.expected = [](Args& a) {
      const platform::Point p = a.Point("the pointer");
      return Value::List({Value::Integer(p.x), Value::Integer(p.y)});
    };
    q.read = [](Session& s) {
      const platform::Point p = s.Desk().CursorPos();
      return Value::List({Value::Integer(p.x), Value::Integer(p.y)});
    };
    return q;
  }
  if (what == "live-cursors") {
    q.expected = Expect(ValueKind::Integer);
    q.read = [](Session& s) { return Value::Integer(static_cast<long long>(s.Desk().LiveCursors())); };
    return q;
  }
  if (what == "last-tooltip") {
    q.expected = Expect(ValueKind::Text);
    q.read = [](Session& s) { return Value::Gbk(s.Desk().LastTooltip()); };
    return q;
  }
  if (what == "same-image") {
    const std::string control = args.Name("the control's name");
    const std::string label = args.Word("the label of a kept image");
    q.expected = [](Args& a) { return Value::Word(a.OneOf("yes or no", {"yes", "no"})); };
    q.read = [control, label](Session& s) {
      const ui::Image* kept = s.KeptImage(label);
      if (kept == nullptr) Refuse("no image kept as " + label);
      const ui::Image now = s.ClientImage(control);
      if (now.Width() != kept->Width() || now.Height() != kept->Height()) return Value::Word("no (another size)");
      std::size_t differ = 0;
      for (std::size_t i = 0; i < now.Pixels().size(); ++i) differ += now.Pixels()[i] != kept->Pixels()[i] ? 1 : 0;
      if (differ == 0) return Value::Word("yes");
      return Value::Word("no (" + std::to_string(differ) + " of " + std::to_string(now.Pixels().size()) +
                         " pixels differ)");
    };
    return q;
  }
  if (what == "pointer-cursor") {
    q.expected = [](Args& a) { return Value::Word(a.OneOf("the cursor", {"custom", "arrow"})); };
    q.read = [](Session& s) { return Value::Word(s.Desk().PointerCursor() != nullptr ? "custom" : "arrow"); };
    return q;
  }
  if (what == "hotkeys") {
    q.expected = Expect(ValueKind::Integer);
    q.read = [](Session& s) { return Value::Integer(s.Desk().HotKeyRegistry().OwnCount()); };
    return q;
  }
  if (what == "hotkey-registered") {
    const int key = args.Key("the key");
    q.expected = Expect(ValueKind::YesNo);
    q.read = [key](Session& s) { return Value::Word(s.Desk().HotKeyRegistry().IsRegistered(0, key) ? "yes" : "no"); };
    return q;
  }
  if (what == "menus-shown" || what == "popups-shown" || what == "dialogs-shown") {
    q.expected = Expect(ValueKind::Integer);
    q.read = [what](Session& s) {
      const Desktop& d = s.Desk();
      const std::size_t n = what == "menus-shown"    ? d.MenusShown().size()
                            : what == "popups-shown" ? d.PopupsShown().size()
                                                     : d.DialogsShown().size();
      return Value::Integer(static_cast<long long>(n));
    };
    return q;
  }
  if (what == "last-menu") {
    const std::string part = args.OneOf("what of the menu", {"at", "items"});
    if (part == "at") {
      q.expected = [](Args& a) {
        const platform::Point p = a.Point("the menu's corner");
        return Value::List({Value::Integer(p.x), Value::Integer(p.y)});
      };
      q.read = [](Session& s) {
        if (s.Desk().MenusShown().empty()) return Nothing("no menu shown");
        const platform::Point p = s.Desk().MenusShown().back().at;
        return Value::List({Value::Integer(p.x), Value::Integer(p.y)});
      };
    } else {
      q.expected = [](Args& a) {
        std::vector<Value> items;
        while (!a.AtEnd()) items.push_back(Value::Gbk(a.String("an item's caption")));
        return Value::List(std::move(items));
      };
      q.read = [](Session& s) {
        if (s.Desk().MenusShown().empty()) return Nothing("no menu shown");
        std::vector<Value> items;
        for (const Text& item : s.Desk().MenusShown().back().items) items.push_back(Value::Gbk(item));
        return Value::List(std::move(items));
      };
    }
    return q;
  }
  if (what == "last-popup") {
    const std::string part = args.OneOf("what of the popup", {"swatches", "swatch", "other"});
    if (part == "swatches") {
      q.expected = Expect(ValueKind::Integer);
      q.read = [](Session& s) {
        if (s.Desk().PopupsShown().empty()) return Nothing("no popup shown");
        return Value::Integer(static_cast<long long>(ui::ColourPopup::Presets().size()));
      };
    } else if (part == "swatch") {
      const int k = args.Integer("the swatch number (from 1)");
      if (k < 1) Refuse("swatches count from 1");
      q.expected = [](Args& a) {
        const std::uint32_t c = a.Colour("the swatch's colour");
        return Value::List({Value::Colour(c), Value::Gbk(a.String("the swatch's name"))});
      };
      q.read = [k](Session& s) {
        if (s.Desk().PopupsShown().empty()) return Nothing("no popup shown");
        const auto presets = ui::ColourPopup::Presets();
        if (static_cast<std::size_t>(k) > presets.size()) return Nothing("no swatch " + std::to_string(k));
        // The colour as the popup showed it, the name as its tooltip gives it.
        const ui::Image& shown = s.Desk().PopupsShown().back().client;
        const ui::Rect r = ui::ColourPopup::SwatchRect(k - 1);
        const ui::Pixel colour = shown.At((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        return Value::List({Value::Colour(colour), Value::Gbk(presets[static_cast<std::size_t>(k) - 1].name)});
      };
    } else {
      q.expected = Expect(ValueKind::Text);
      q.read = [](Session& s) {
        if (s.Desk().PopupsShown().empty()) return Nothing("no popup shown");
        return Value::Gbk(Text(ui::ColourPopup::OtherEntry()));
      };
    }
    return q;
  }
  if (what == "last-dialog") {
    q.expected = Expect(ValueKind::Colour);
    q.read = [](Session& s) {
      if (s.Desk().DialogsShown().empty()) return Nothing("no dialog shown");
      return Value::Colour(Raw(s.Desk().DialogsShown().back()));
    };
    return q;
  }
  if (what == "running") {
    q.expected = [](Args&) { return Value::Word("running"); };
    q.read = [](Session& s) { return Value::Word(s.Program().Finished() ? "finished" : "running"); };
    return q;
  }
  if (what == "exit") {
    q.expected = Expect(ValueKind::Integer);
    q.read = [](Session& s) {
      app::Program& p = s.Program();
      return p.Finished() ? Value::Integer(p.ExitCode()) : Value::Word("still running");
    };
    return q;
  }
  if (what == "focus") {
    q.expected = [](Args& a) { return Value::Word(a.Name("the control's name")); };
    q.read = [](Session& s) {
      s.Program();
      return Value::Word(s.NameOf(s.Desk().Focus()));
    };
    return q;
  }
  if (what == "events") {
    q.expected = [](Args& a) {
      std::vector<Value> events;
      while (!a.AtEnd()) events.push_back(Value::Word(a.Name("an event as control.Event")));
      return Value::List(std::move(events));
    };
    q.read = [](Session& s) {
      s.Program();
      std::vector<Value> events;
      for (const std::string& e : s.Events()) events.push_back(Value::Word(e));
      return Value::List(std::move(events));
    };
    return q;
  }
  if (what == "event-count") {
    const std::string event = args.Name("the event as control.Event");
    q.expected = Expect(ValueKind::Integer);
    q.read = [event](Session& s) {
      s.Program();
      return Value::Integer(std::count(s.Events().begin(), s.Events().end(), event));
    };
    return q;
  }
  const std::size_t dot = what.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == what.size()) {
    Refuse("unknown check " + what + " (a control's NAME.Property, state, pixel, client-pixel, clipboard, ...)");
  }
  return PropertyQuery(what.substr(0, dot), what.substr(dot + 1));
}

// ---- commands -------------------------------------------------------------------------

std::optional<platform::Point> OptionalPoint(Args& args) {
  if (!args.PeekInteger()) return std::nullopt;
  return args.Point("the client point");
}

Button ParseButton(Args& args) {
  if (args.AtEnd()) return Button::Left;
  return args.OneOf("the button", {"left", "right"}) == "left" ? Button::Left : Button::Right;
}

ModalAnswers::MenuAnswer ParseMenuAnswer(Args& args, int line) {
  ModalAnswers::MenuAnswer answer;
  answer.line = line;
  if (args.PeekQuoted()) {
    answer.caption = args.String("the item's caption");
  } else if (!args.TakeWord("dismiss")) {
    const int n = args.Integer("the item (a caption in quotes, a number from 1, or dismiss)");
    if (n < 1) Refuse("menu items count from 1");
    answer.index = n - 1;
  }
  return answer;
}

// Reports the answers a line gave that the action it went with did not use.
void CheckAnswersUsed(Session& s) {
  for (const auto& [line, what] : s.Answers().TakeUnused(s.Line())) s.Fail(line, "the program to open " + what, "nothing");
}

void RequireSetUp(Session& s, std::string_view command) {
  if (s.Started()) Refuse(std::string(command) + " must come before start");
}

Action ParseDisplay(Args& args, bool primary) {
  ui::Rect bounds;
  if (primary) {
    const int w = args.Count("the width");
    const int h = args.Count("the height");
    bounds = {0, 0, w, h};
  } else {
    bounds = args.Rect("the display");
  }
  int bpp = 32;
  if (args.TakeWord("bpp")) {
    bpp = args.Integer("the bits per pixel");
    if (bpp != 16 && bpp != 24 && bpp != 32) Refuse("bits per pixel must be 16, 24 or 32");
  }
  if (bounds.Empty()) Refuse("a display must not be empty");
  return [bounds, bpp, primary](Session& s) {
    RequireSetUp(s, primary ? "primary" : "display");
    std::vector<Display> displays = s.Desk().DisplayList();
    Display d;
    d.bounds = bounds;
    d.bitsPerPixel = bpp;
    if (primary) {
      displays.front() = std::move(d);
    } else {
      displays.push_back(std::move(d));
    }
    s.Desk().SetDisplays(std::move(displays));
  };
}

Action ParseDesktop(Args& args) {
  const std::string what = args.OneOf("what to draw", {"fill", "pixel", "pattern", "image"});
  if (what == "fill") {
    const ui::Rect r = args.Rect("the area");
    const ui::Pixel c = args.Rgb("the colour");
    return [r, c](Session& s) { s.Desk().FillDesktop(r, c); };
  }
  if (what == "pixel") {
    const platform::Point p = args.Point("the point");
    const ui::Pixel c = args.Rgb("the colour");
    return [p, c](Session& s) { s.Desk().PutDesktopPixel(p, c); };
  }
  if (what == "pattern") {
    const ui::Rect r = args.Rect("the area");
    return [r](Session& s) {
      ui::Image image(r.Width(), r.Height());
      const auto mod = [](long v) { return static_cast<int>(((v % 256) + 256) % 256); };
      for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
          image.Set(x - r.left, y - r.top, ui::RgbPixel(mod(x), mod(y), mod(7L * x + 3L * y)));
        }
      }
      s.Desk().DrawOnDesktop({r.left, r.top}, image);
    };
  }
  const std::string file = args.Name("the PNG file");
  const platform::Point at = args.Point("the image's corner");
  return [file, at](Session& s) {
    std::filesystem::path path(file);
    if (path.is_relative()) path = std::filesystem::path(s.Options().scriptDirectory) / path;
    std::ifstream in(path, std::ios::binary);
    if (!in) Refuse("cannot read " + path.string());
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto picture = ui::DecodePicture(bytes);
    if (!picture) Refuse(path.string() + " holds no picture");
    s.Desk().DrawOnDesktop(at, picture->colour);
  };
}

Action ParseFault(Args& args) {
  const std::string what = args.OneOf("the fault", {"unreadable", "clipboard-busy", "alloc-fails"});
  if (what == "unreadable") {
    if (args.TakeWord("off")) return [](Session& s) { s.Desk().ClearUnreadable(); };
    const ui::Rect r = args.Rect("the area");
    return [r](Session& s) { s.Desk().SetUnreadable(r); };
  }
  const bool on = args.OnOff("on or off");
  if (what == "clipboard-busy") return [on](Session& s) { s.Desk().ClipboardService().SetHeldOpen(on); };
  return [on](Session& s) { s.Desk().ClipboardService().SetAllocationFails(on); };
}

Action ParseOther(Args& args) {
  const std::string what = args.OneOf("what the other program does",
                                      {"hold-hotkey", "release-hotkey", "clipboard", "steal-capture"});
  if (what == "hold-hotkey" || what == "release-hotkey") {
    const int key = args.Key("the key");
    const bool hold = what == "hold-hotkey";
    return [key, hold](Session& s) { s.Desk().HotKeyRegistry().Hold(0, key, hold); };
  }
  if (what == "clipboard") {
    if (args.TakeWord("none")) return [](Session& s) { s.Desk().ClipboardService().PutText(std::nullopt); };
    const Text text = args.String("the text");
    return [text](Session& s) { s.Desk().ClipboardService().PutText(text); };
  }
  return [](Session& s) { s.Desk().StealCapture(); };
}

Action ParseAnswer(Args& args, int line) {
  const std::string what = args.OneOf("what to answer", {"menu", "chooser", "dialog"});
  if (what == "menu") {
    const auto answer = ParseMenuAnswer(args, line);
    return [answer](Session& s) { s.Answers().Queue(answer); };
  }
  if (what == "chooser") {
    ModalAnswers::PopupAnswer answer;
    answer.line = line;
    const std::string how = args.OneOf("the choice", {"preset", "other", "cancel"});
    if (how == "preset") {
      const int n = args.Integer("the preset (from 1)");
      if (n < 1) Refuse("presets count from 1");
      answer.choice = {ui::ColourPopup::Choice::Kind::Preset, n - 1};
    } else if (how == "other") {
      answer.choice = {ui::ColourPopup::Choice::Kind::Other, 0};
    }
    return [answer](Session& s) { s.Answers().Queue(answer); };
  }
  ModalAnswers::DialogAnswer answer;
  answer.line = line;
  if (!args.TakeWord("cancel")) answer.colour = static_cast<ColourValue>(args.Colour("the colour"));
  return [answer](Session& s) { s.Answers().Queue(answer); };
}

// choose-colour preset N | other COLOUR | other cancel | cancel
Action ParseChooseColour(Args& args, int line) {
  ModalAnswers::PopupAnswer popup;
  popup.line = line;
  const std::string how = args.OneOf("the choice", {"preset", "other", "cancel"});
  std::optional<ModalAnswers::DialogAnswer> dialog;
  if (how == "preset") {
    const int n = args.Integer("the preset (from 1)");
    if (n < 1) Refuse("presets count from 1");
    popup.choice = {ui::ColourPopup::Choice::Kind::Preset, n - 1};
  } else if (how == "other") {
    popup.choice = {ui::ColourPopup::Choice::Kind::Other, 0};
    dialog = ModalAnswers::DialogAnswer{line, std::nullopt};
    if (!args.TakeWord("cancel")) dialog->colour = static_cast<ColourValue>(args.Colour("the colour"));
  }
  return [popup, dialog](Session& s) {
    const platform::Point at = s.ClientToScreen(std::string(kChooser), std::nullopt);
    s.Answers().Queue(popup);
    if (dialog) s.Answers().Queue(*dialog);
    s.Desk().MovePointer(at);
    s.Desk().Press(Button::Left);
    s.Desk().Release(Button::Left);
    CheckAnswersUsed(s);
  };
}

Action ParseClick(Args& args, int line, bool right) {
  const std::string name = args.Name("the control's name");
  const std::optional<platform::Point> client = OptionalPoint(args);
  std::optional<ModalAnswers::MenuAnswer> answer;
  if (right && args.TakeWord("choose")) {
    answer = ParseMenuAnswer(args, line);
  } else if (right && args.TakeWord("dismiss")) {
    answer = ModalAnswers::MenuAnswer{line, std::nullopt, std::nullopt};
  }
  return [name, client, answer, right](Session& s) {
    const platform::Point at = s.ClientToScreen(name, client);
    if (answer) s.Answers().Queue(*answer);
    const Button button = right ? Button::Right : Button::Left;
    s.Desk().MovePointer(at);
    s.Desk().Press(button);
    s.Desk().Release(button);
    if (answer) CheckAnswersUsed(s);
  };
}

int ParseModifiers(Args& args) {
  int keys = 0;
  if (args.AtEnd()) Refuse("missing the modifiers (ctrl shift alt, or none)");
  while (!args.AtEnd()) {
    const std::string m = args.OneOf("a modifier", {"ctrl", "shift", "alt", "none"});
    if (m == "ctrl") keys |= platform::ModCtrl;
    if (m == "shift") keys |= platform::ModShift;
    if (m == "alt") keys |= platform::ModAlt;
  }
  return keys;
}

Action ParseCommand(const std::string& command, Args& args, int line) {
  if (command == "primary") return ParseDisplay(args, true);
  if (command == "display") return ParseDisplay(args, false);
  if (command == "frame") {
    FrameMetrics f;
    f.left = args.Count("the left frame");
    f.top = args.Count("the top frame");
    f.right = args.Count("the right frame");
    f.bottom = args.Count("the bottom frame");
    return [f](Session& s) {
      RequireSetUp(s, "frame");
      s.Desk().SetFrame(f);
    };
  }
  if (command == "desktop") return ParseDesktop(args);
  if (command == "start") return [](Session& s) { s.Start(); };
  if (command == "fault") return ParseFault(args);
  if (command == "other") return ParseOther(args);
  if (command == "move") {
    const platform::Point p = args.Point("the point");
    return [p](Session& s) { s.Desk().MovePointer(p); };
  }
  if (command == "move-to") {
    const std::string name = args.Name("the control's name");
    const auto client = OptionalPoint(args);
    return [name, client](Session& s) { s.Desk().MovePointer(s.ClientToScreen(name, client)); };
  }
  if (command == "press" || command == "release" || command == "press-release") {
    const Button button = ParseButton(args);
    if (command == "press") return [button](Session& s) { s.Desk().Press(button); };
    if (command == "release") return [button](Session& s) { s.Desk().Release(button); };
    return [button](Session& s) { s.Desk().PressAndRelease(button); };
  }
  if (command == "busy") {
    const bool on = args.OnOff("on or off");
    return [on](Session& s) { s.Desk().SetBusy(on); };
  }
  if (command == "click") return ParseClick(args, line, false);
  if (command == "right-click") return ParseClick(args, line, true);
  if (command == "key") {
    const int key = args.Key("the key");
    return [key](Session& s) { s.Desk().KeyDown(key); };
  }
  if (command == "modifiers") {
    const int keys = ParseModifiers(args);
    return [keys](Session& s) { s.Desk().SetModifiers(keys); };
  }
  if (command == "focus") {
    const std::string name = args.Name("the control's name");
    return [name](Session& s) { s.Desk().FocusWindow(s.Handle(name)); };
  }
  if (command == "type") {
    std::optional<std::string> name;
    if (!args.PeekQuoted()) name = args.Name("the control's name");
    const Text text = args.String("the text to type");
    return [name, text](Session& s) {
      if (name) s.Desk().FocusWindow(s.Handle(*name));
      s.Desk().Type(text);
    };
  }
  if (command == "select-all") return [](Session& s) { s.Desk().SelectAll(); };
  if (command == "paste") return [](Session& s) { s.Desk().Paste(); };
  if (command == "clear") {
    const std::string name = args.Name("the control's name");
    return [name](Session& s) {
      s.Desk().FocusWindow(s.Handle(name));
      s.Desk().SelectAll();
      s.Desk().Backspace();
    };
  }
  if (command == "slider-drag") {
    const std::string name = args.Name("the slider's name");
    std::vector<int> positions;
    while (!args.AtEnd()) positions.push_back(args.Integer("a position"));
    if (positions.empty()) Refuse("missing the positions to drag through");
    return [name, positions](Session& s) { s.Desk().DragSliderThumb(s.Handle(name), positions); };
  }
  if (command == "slider-channel") {
    const std::string name = args.Name("the slider's name");
    const bool up = args.OneOf("the direction", {"up", "down"}) == "up";
    return [name, up](Session& s) { s.Desk().ClickSliderChannel(s.Handle(name), up); };
  }
  if (command == "double-click") {
    const std::string name = args.Name("the control's name");
    const std::optional<platform::Point> client = OptionalPoint(args);
    return [name, client](Session& s) {
      s.Desk().MovePointer(s.ClientToScreen(name, client));
      s.Desk().DoubleClick();
    };
  }
  if (command == "keep-image") {
    const std::string name = args.Name("the control's name");
    const std::string label = args.Word("the label to keep it as");
    return [name, label](Session& s) { s.KeepImage(label, s.ClientImage(name)); };
  }
  if (command == "repeat") {
    const int times = args.Count("how many times");
    const std::string inner = args.Word("the command to repeat");
    if (inner == "repeat" || inner == "expect" || inner == "print") Refuse("repeat takes an action");
    Action action = ParseCommand(inner, args, line);
    return [times, action](Session& s) {
      for (int i = 0; i < times; ++i) action(s);
    };
  }
  if (command == "activate") return [](Session& s) { s.Desk().SetActive(true); };
  if (command == "deactivate") return [](Session& s) { s.Desk().SetActive(false); };
  if (command == "close") {
    return [](Session& s) {
      s.Program();
      s.Desk().CloseWindow(s.Desk().TopLevel());
    };
  }
  if (command == "answer") return ParseAnswer(args, line);
  if (command == "choose-colour") return ParseChooseColour(args, line);
  if (command == "log") {
    args.OneOf("what to log", {"events"});
    const std::string how = args.OneOf("on, off, all or clear", {"on", "off", "all", "clear"});
    return [how](Session& s) {
      if (how == "clear") s.ClearEvents();
      if (how == "on") s.SetEventLog(Session::EventLog::Delivered);
      if (how == "all") s.SetEventLog(Session::EventLog::All);
      if (how == "off") s.SetEventLog(Session::EventLog::Off);
    };
  }
  if (command == "save-screen") {
    const std::string file = args.Name("the PNG file");
    std::optional<ui::Rect> area;
    if (!args.AtEnd()) area = args.Rect("the area");
    return [file, area](Session& s) { s.SaveScreen(file, area); };
  }
  if (command == "expect" || command == "print") {
    const std::size_t from = args.Position();
    Query q = ParseQuery(args);
    const std::string label = args.Span(from);
    if (command == "print") {
      return [q, label](Session& s) { s.Print(label, Show(q.read(s))); };
    }
    const Value expected = q.expected(args);
    return [q, expected, line](Session& s) {
      const Value got = q.read(s);
      if (got == expected) {
        s.Pass();
      } else {
        s.Fail(line, Show(expected), Show(got));
      }
    };
  }
  Refuse("unknown command " + command);
}

struct Step {
  int line = 0;
  Action action;
};

}  // namespace

// ---- ScenarioRunner ---------------------------------------------------------------

ScenarioRunner::ScenarioRunner(std::ostream& output, std::ostream& diagnostics)
    : output_(output), diagnostics_(diagnostics) {}

ScenarioRunner::~ScenarioRunner() = default;

int ScenarioRunner::Run(std::string_view script, const RunOptions& options) {
  Session session(output_, diagnostics_, options);

  // The whole script is checked before anything runs.
  std::vector<Step> steps;
  int line = 0;
  std::size_t at = 0;
  while (at <= script.size()) {
    const std::size_t end = std::min(script.find('\n', at), script.size());
    const std::string_view text = script.substr(at, end - at);
    at = end + 1;
    ++line;
    try {
      std::vector<Token> tokens = Tokenize(text);
      if (tokens.empty()) continue;
      if (tokens.front().quoted) Refuse("a line must start with a command");
      const std::string command = tokens.front().text;
      tokens.erase(tokens.begin());
      Args args(std::move(tokens));
      Action action = ParseCommand(command, args, line);
      args.End();
      steps.push_back({line, std::move(action)});
    } catch (const ScriptError& e) {
      session.Error(line, e.message);
      return kScriptError;
    }
    if (end == script.size()) break;
  }

  int result = kPassed;
  for (const Step& step : steps) {
    session.SetLine(step.line);
    try {
      step.action(session);
    } catch (const ScriptError& e) {
      session.Error(step.line, e.message);
      result = kScriptError;
      break;
    } catch (const std::exception& e) {
      session.Error(step.line, std::string("the program threw: ") + e.what());
      result = kFailed;
      break;
    }
  }
  if (result == kPassed) {
    for (const auto& [answerLine, what] : session.Answers().TakeUnused()) {
      session.Fail(answerLine, "the program to open " + what, "nothing");
    }
  }
  if (options.saveScreen) {
    try {
      session.SaveScreen(*options.saveScreen, std::nullopt);
    } catch (const ScriptError& e) {
      session.Error(line, e.message);
      if (result == kPassed) result = kScriptError;
    }
  }
  if (result == kPassed && session.Failures() > 0) {
    diagnostics_ << options.scriptName << ": " << session.Failures() << " failed, " << session.Passes()
                 << " expectations held\n";
    result = kFailed;
  }
  return result;
}

}  // namespace tinctora::headless::runner
