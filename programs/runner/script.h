#pragma once

// The words of the scenario script language: a line split into tokens, the
// words after a command read one at a time, and the values that queries
// observe and expectations state, shown as a script would write them.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"
#include "graphics/image.h"

namespace tinctora::headless::runner {

inline constexpr std::uint32_t kInvalidColour = 0xFFFFFFFFu;
inline constexpr std::uint32_t kDefaultColour = 0xFF000000u;

// A script that cannot be run as written: a malformed line, or a line that
// asks for something that does not exist (a control, a file, the program
// before `start`).
struct ScriptError {
  std::string message;
};

[[noreturn]] void Refuse(std::string message);

// ---- tokens -------------------------------------------------------------------

struct Token {
  std::string text;  // UTF-8, escapes resolved
  bool quoted = false;
};

// Splits a line into words and quoted strings; `#` outside a string starts a
// comment. Strings know the escapes \" \\ \n \r \t. Throws ScriptError.
std::vector<Token> Tokenize(std::string_view line);

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

// A text as a script would write it: quoted, UTF-8, with escapes. A
// character that is not GBK shows its bytes as \xNN.
std::string QuoteGbk(const Text& gbk);

// A value as a script would write it.
std::string Show(const Value& v);

// The kinds of value an expectation can state.
enum class ValueKind { Integer, Text, Colour, YesNo };

// ---- the words of a line ------------------------------------------------------------

// A decimal integer of at most 12 digits, with an optional sign.
std::optional<long long> ParseDecimal(std::string_view s);

// The words of one line after the command, taken from the left. Every
// reader names what it reads, for the message when the word is missing or
// of the wrong kind; the messages are thrown as ScriptError.
class Args {
 public:
  explicit Args(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool AtEnd() const { return next_ >= tokens_.size(); }
  std::size_t Position() const { return next_; }
  // The words from `from` up to the current one, as the script wrote them.
  std::string Span(std::size_t from) const;
  bool PeekWord(std::string_view word) const { return !AtEnd() && !tokens_[next_].quoted && tokens_[next_].text == word; }
  bool PeekQuoted() const { return !AtEnd() && tokens_[next_].quoted; }
  bool PeekInteger() const { return !AtEnd() && !tokens_[next_].quoted && ParseDecimal(tokens_[next_].text).has_value(); }

  const Token& Take(std::string_view what);
  std::string Word(std::string_view what);
  // One of the given words.
  std::string OneOf(std::string_view what, std::initializer_list<std::string_view> words);
  // Takes the word when it comes next.
  bool TakeWord(std::string_view word);
  // A control's layout name, with or without quotes.
  std::string Name(std::string_view what) { return Take(what).text; }
  int Integer(std::string_view what);
  int Count(std::string_view what);
  // A quoted text, converted to GBK.
  Text String(std::string_view what);
  // RRGGBB: six hexadecimal digits, red first.
  gfx::Pixel Rgb(std::string_view what);
  // A colour property value: RRGGBB (top byte 0), 0xXXXXXXXX or a decimal
  // number (the raw value), `invalid` (FFFFFFFF) or `default` (FF000000).
  std::uint32_t Colour(std::string_view what);
  // A key's name or its virtual-key code.
  int Key(std::string_view what);
  bool OnOff(std::string_view what) { return OneOf(what, {"on", "off"}) == "on"; }
  gfx::Point Point(std::string_view what);
  // X Y W H.
  gfx::Rect Rect(std::string_view what);
  // Refuses any word left over.
  void End() const;

 private:
  std::vector<Token> tokens_;
  std::size_t next_ = 0;
};

// The expected value of an expectation, from the rest of the line.
Value ParseExpected(ValueKind kind, Args& args);

}  // namespace tinctora::headless::runner
