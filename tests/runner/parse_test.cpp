#include "programs/runner/parse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tinctora::headless::runner {
namespace {

struct Malformed {
  const char* name;
  std::string_view script;
  int line;
  std::string_view message;  // as the runner prints it after "error: "
};

// Checks every row's script and names the rows whose first error differs.
void ExpectErrors(std::initializer_list<Malformed> rows) {
  for (const Malformed& row : rows) {
    const auto parsed = ParseScript(row.script);
    const auto* error = std::get_if<LineError>(&parsed);
    if (error == nullptr) {
      ADD_FAILURE() << "row \"" << row.name << "\": the script was accepted";
      continue;
    }
    EXPECT_EQ(error->line, row.line) << "row \"" << row.name << "\"";
    EXPECT_EQ(error->message, row.message) << "row \"" << row.name << "\"";
  }
}

TEST(ParseScript, TokenErrors) {
  ExpectErrors({
      {"unterminated string", "expect main.Caption \"abc", 1, "a string without its closing quote"},
      {"backslash at the end of the line", "type \"a\\", 1, "a string without its closing quote"},
      {"unknown escape", "type \"a\\qb\"", 1, "unknown escape \\q in a string"},
      {"no hex escapes", "start\ntype \"\\x41\"", 2, "unknown escape \\x in a string"},
      {"text glued to a string", "type \"ab\"c", 1, "text straight after a closing quote"},
      {"quote inside a word", "ty\"pe", 1, "a quote inside a word"},
      {"quoted command", "\"start\"", 1, "a line must start with a command"},
  });
}

TEST(ParseScript, CommandAndArgumentErrors) {
  ExpectErrors({
      {"unknown command", "bogus", 1, "unknown command bogus"},
      {"a NUL byte is part of the word", std::string_view("start\0", 6), 1, std::string_view("unknown command start\0", 22)},
      {"quoted integer", "primary \"10\" 10", 1, "expected the width without quotes, got \"10\""},
      {"word for an integer", "start\nexpect 滑块条1.Position one", 2, "expected the value as an integer, got one"},
      {"integer out of range", "primary 2147483648 1", 1, "expected the width as an integer, got 2147483648"},
      {"negative size", "primary -1 10", 1, "the width must not be negative"},
      {"word for a text", "other clipboard abc", 1, "expected the text in double quotes, got abc"},
      {"text for a word", "keep-image X \"lab\"", 1, "expected the label to keep it as without quotes, got \"lab\""},
      {"not RRGGBB", "desktop fill 0 0 1 1 GGGGGG", 1, "expected the colour as RRGGBB, got GGGGGG"},
      {"not a colour value", "answer dialog zz", 1,
       "expected the colour as RRGGBB, 0xXXXXXXXX or a decimal number, got zz"},
      {"not one of the words", "busy yes", 1, "expected on or off (on|off), got yes"},
      {"unknown key", "key Tab", 1,
       "unknown key Tab (Up Down Left Right Esc PageUp PageDown Home End Backspace Delete, or a code)"},
      {"missing argument", "move 1", 1, "missing the point y"},
      {"word left over", "start extra", 1, "unexpected extra"},
      {"a display option unknown", "primary 10 10 extra", 1, "expected an option of the display (bpp|scale|panel), got extra"},
      {"a scale below 100 per cent", "primary 10 10 scale 50", 1, "the scale must lie between 100 and 500 per cent"},
      {"string left over", "type X \"a\" \"b\"", 1, "unexpected \"b\""},
      {"repeat of a query", "repeat 2 expect running", 1, "repeat takes an action"},
      {"bad ids", "expect state NudgeKeyIds 1,2,3", 1, "expected the four ids as a,b,c,d, got 1,2,3"},
      {"unknown property", "expect main.Nope 1", 1, "unknown property Nope (of main)"},
  });
}

TEST(ParseScript, InvalidUtf8) {
  ExpectErrors({
      {"a line of invalid bytes", "\xff\xfe", 1, "unknown command \xff\xfe"},
      {"invalid bytes in a text", "start\ntype \"\xff\"", 2, "the text \"\xff\" has characters GBK cannot hold"},
      {"a cut-off character", "start\nexpect main.Caption \"\xe4\xb8\"", 2,
       "the text \"\xe4\xb8\" has characters GBK cannot hold"},
      {"a character GBK lacks", "other clipboard \"\xf0\x9f\x98\x80\"", 1,
       "the text \"\xf0\x9f\x98\x80\" has characters GBK cannot hold"},
  });
}

TEST(ParseScript, ReportsTheFirstMalformedLine) {
  ExpectErrors({
      {"blank and comment lines count", "\n# a comment\n\t \r\nstart\nbogus\nkey Tab", 5, "unknown command bogus"},
      {"CRLF line ends", "start\r\nexpect main.Left x\r\n", 2, "expected the value as an integer, got x"},
      {"a line after the last newline", "start\n\nbogus", 3, "unknown command bogus"},
  });
}

TEST(ParseScript, AcceptsAScriptWithoutRunningIt) {
  // A control that does not exist and a query before `start` are found only
  // when the line runs.
  const auto parsed = ParseScript("# set-up\nprimary 800 600\n\nexpect 图片框99.Left 0  # later\nclick nope\n");
  const auto* script = std::get_if<ParsedScript>(&parsed);
  ASSERT_NE(script, nullptr) << std::get<LineError>(parsed).message;
  std::vector<int> lines;
  for (const Step& step : script->steps) lines.push_back(step.line);
  EXPECT_EQ(lines, (std::vector<int>{2, 4, 5}));
  EXPECT_EQ(script->lineCount, 6);

  const auto empty = ParseScript("");
  ASSERT_TRUE(std::holds_alternative<ParsedScript>(empty));
  EXPECT_TRUE(std::get<ParsedScript>(empty).steps.empty());
  EXPECT_EQ(std::get<ParsedScript>(empty).lineCount, 1);
}

// Any bytes give steps or an error at one of the script's lines, never an
// exception or a crash.
TEST(ParseScript, TakesArbitraryBytes) {
  const std::vector<std::string_view> pieces = {
      "start", "expect", "print", "repeat", "3", "-2", "0x1B", "FF5080", "\"", "\\", "\\n", "\\q", "#",
      " ", "\t", "\r", "\n", "\xff", "\xe4\xb8", "state", "NudgeKeyIds", "1,2,3,4", "HistoryColours[",
      "]", "main.Caption", "answer", "menu", "chooser", "preset", "dialog", "choose-colour", "other",
      "key", "Up", "desktop", "fill", "right-click", "choose", "last-popup", "swatch", "events", ".",
      std::string_view("\0", 1)};
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int round = 0; round < 20000; ++round) {
    std::string script;
    const int length = static_cast<int>(next() % 12);
    for (int i = 0; i < length; ++i) script += pieces[next() % pieces.size()];
    const int lines = static_cast<int>(std::count(script.begin(), script.end(), '\n')) + 1;
    std::variant<ParsedScript, LineError> parsed;
    ASSERT_NO_THROW(parsed = ParseScript(script)) << "script: " << script;
    if (const auto* error = std::get_if<LineError>(&parsed)) {
      ASSERT_GE(error->line, 1) << "script: " << script;
      ASSERT_LE(error->line, lines) << "script: " << script;
      ASSERT_FALSE(error->message.empty()) << "script: " << script;
    } else {
      ASSERT_EQ(std::get<ParsedScript>(parsed).lineCount, lines) << "script: " << script;
    }
  }
}

}  // namespace
}  // namespace tinctora::headless::runner
