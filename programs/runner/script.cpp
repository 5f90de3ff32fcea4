#include "programs/runner/script.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "text/gbk.h"
#include "platform/platform.h"

namespace tinctora::headless::runner {

void Refuse(std::string message) { throw ScriptError{std::move(message)}; }

// ---- tokens -------------------------------------------------------------------

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The token as the script wrote it, for messages (escapes stay resolved).
std::string AsWritten(const Token& t) { return t.quoted ? "\"" + t.text + "\"" : t.text; }

}  // namespace

std::vector<Token> Tokenize(std::string_view line) {
  std::vector<Token> tokens;
  std::size_t at = 0;
  while (at < line.size()) {
    const char c = line[at];
    if (IsBlank(c)) {
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
      if (at < line.size() && !IsBlank(line[at]) && line[at] != '#') Refuse("text straight after a closing quote");
    } else {
      while (at < line.size() && !IsBlank(line[at])) {
        if (line[at] == '"') Refuse("a quote inside a word");
        token.text.push_back(line[at++]);
      }
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

// ---- showing values ---------------------------------------------------------------

namespace {

void AppendHexByte(std::string& out, unsigned char c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", c);
  out += buf;
}

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
    AppendHexByte(out, c);
  } else {
    out.push_back(static_cast<char>(c));
  }
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

}  // namespace

std::string QuoteGbk(const Text& gbk) {
  // A character that is not GBK shows its bytes as \xNN.
  std::string out = "\"";
  const TextView text = gbk;
  for (std::size_t at = 0; at < text.size();) {
    const TextView character = text.substr(at, text::GbkCharLength(text, at));
    at += character.size();
    if (const auto utf8 = text::GbkToUtf8Exact(character)) {
      for (unsigned char c : *utf8) AppendEscaped(out, c);
      continue;
    }
    for (unsigned char c : character) AppendHexByte(out, c);
  }
  return out + "\"";
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

// ---- reading words ------------------------------------------------------------------

namespace {

bool IsHex(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
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
    {"Up", platform::KeyUp},         {"Down", platform::KeyDown},         {"Left", platform::KeyLeft},
    {"Right", platform::KeyRight},   {"Esc", platform::KeyEscape},        {"PageUp", platform::KeyPageUp},
    {"PageDown", platform::KeyPageDown}, {"End", platform::KeyEnd},       {"Home", platform::KeyHome},
    {"Backspace", platform::KeyBackspace}, {"Delete", platform::KeyDelete},
};

}  // namespace

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

std::string Args::Span(std::size_t from) const {
  std::string out;
  for (std::size_t i = from; i < next_ && i < tokens_.size(); ++i) {
    if (!out.empty()) out += ' ';
    out += AsWritten(tokens_[i]);
  }
  return out;
}

const Token& Args::Take(std::string_view what) {
  if (AtEnd()) Refuse("missing " + std::string(what));
  return tokens_[next_++];
}

std::string Args::Word(std::string_view what) {
  const Token& t = Take(what);
  if (t.quoted) Refuse("expected " + std::string(what) + " without quotes, got \"" + t.text + "\"");
  return t.text;
}

std::string Args::OneOf(std::string_view what, std::initializer_list<std::string_view> words) {
  const std::string w = Word(what);
  for (std::string_view candidate : words) {
    if (w == candidate) return w;
  }
  std::string list;
  for (std::string_view candidate : words) list += (list.empty() ? "" : "|") + std::string(candidate);
  Refuse("expected " + std::string(what) + " (" + list + "), got " + w);
}

bool Args::TakeWord(std::string_view word) {
  if (!PeekWord(word)) return false;
  ++next_;
  return true;
}

int Args::Integer(std::string_view what) {
  const std::string w = Word(what);
  const auto n = ParseDecimal(w);
  if (!n || *n < -2147483648LL || *n > 2147483647LL) Refuse("expected " + std::string(what) + " as an integer, got " + w);
  return static_cast<int>(*n);
}

int Args::Count(std::string_view what) {
  const int n = Integer(what);
  if (n < 0) Refuse(std::string(what) + " must not be negative");
  return n;
}

Text Args::String(std::string_view what) {
  const Token& t = Take(what);
  if (!t.quoted) Refuse("expected " + std::string(what) + " in double quotes, got " + t.text);
  auto gbk = text::Utf8ToGbkExact(t.text);
  if (!gbk) Refuse("the text \"" + t.text + "\" has characters GBK cannot hold");
  return *gbk;
}

gfx::Pixel Args::Rgb(std::string_view what) {
  const std::string w = Word(what);
  if (w.size() != 6 || !IsHex(w)) Refuse("expected " + std::string(what) + " as RRGGBB, got " + w);
  return gfx::RgbHex(*ParseHex(w));
}

std::uint32_t Args::Colour(std::string_view what) {
  const std::string w = Word(what);
  if (w == "invalid") return kInvalidColour;
  if (w == "default") return kDefaultColour;
  if (w.size() == 6 && IsHex(w)) return gfx::RgbHex(*ParseHex(w));
  if (w.size() > 2 && (w.starts_with("0x") || w.starts_with("0X"))) {
    if (auto raw = ParseHex(std::string_view(w).substr(2))) return *raw;
  } else if (auto n = ParseDecimal(w); n && *n >= -2147483648LL && *n <= 4294967295LL) {
    return static_cast<std::uint32_t>(*n);
  }
  Refuse("expected " + std::string(what) + " as RRGGBB, 0xXXXXXXXX or a decimal number, got " + w);
}

int Args::Key(std::string_view what) {
  const std::string w = Word(what);
  for (const KeyName& key : kKeys) {
    if (w == key.name) return key.code;
  }
  if (w.size() > 2 && w.starts_with("0x")) {
    if (auto n = ParseHex(std::string_view(w).substr(2)); n && *n <= 0xFF) return static_cast<int>(*n);
  } else if (auto n = ParseDecimal(w); n && *n >= 0 && *n <= 0xFF) {
    return static_cast<int>(*n);
  }
  Refuse("unknown key " + w + " (Up Down Left Right Esc PageUp PageDown Home End Backspace Delete, or a code)");
}

gfx::Point Args::Point(std::string_view what) {
  const int x = Integer(std::string(what) + " x");
  const int y = Integer(std::string(what) + " y");
  return {x, y};
}

gfx::Rect Args::Rect(std::string_view what) {
  const gfx::Point corner = Point(what);
  const int w = Count(std::string(what) + " width");
  const int h = Count(std::string(what) + " height");
  return {corner.x, corner.y, corner.x + w, corner.y + h};
}

void Args::End() const {
  if (!AtEnd()) Refuse("unexpected " + AsWritten(tokens_[next_]));
}

Value ParseExpected(ValueKind kind, Args& args) {
  switch (kind) {
    case ValueKind::Integer: return Value::Integer(args.Integer("the value"));
    case ValueKind::Text: return Value::Gbk(args.String("the value"));
    case ValueKind::Colour: return Value::Colour(args.Colour("the value"));
    case ValueKind::YesNo: return Value::Word(args.OneOf("the value", {"yes", "no"}));
  }
  return {};
}

}  // namespace tinctora::headless::runner
