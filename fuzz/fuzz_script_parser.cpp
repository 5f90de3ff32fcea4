// fuzz-links: tinctora_runner
//
// ParseScript, the scenario runner's check of a whole script, on arbitrary
// bytes. Lines end at each "\n" (a "\r" before it is blank space on its
// line), and the line after the last "\n" counts too, so a text has one line
// more than it has "\n" bytes. Checked here:
//  - the same text parsed twice gives the same result (error line and
//    message, or line count and the lines of the steps);
//  - an error names a line within the text, with a message; the lines before
//    it parse on their own, and the line itself alone gives the same message
//    (lines are checked one at a time, the first malformed one reported);
//  - a parsed text counts its lines as above, and has a step for exactly the
//    lines with something before any "#" other than blank space (space, tab,
//    "\r"), in order;
//  - a parsed text still parses, with the same steps, after "\n# comment\n"
//    is appended (two lines more) and with every "\n" written "\r\n" (the
//    same lines).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fuzz_check.h"
#include "programs/runner/parse.h"

namespace {

using tinctora::fuzz::Escaped;
using tinctora::fuzz::Fail;
namespace runner = tinctora::headless::runner;

// What can be compared of a result: the steps' actions are functions.
struct Outcome {
  bool ok = false;
  int errorLine = 0;
  std::string message;
  int lineCount = 0;
  std::vector<int> stepLines;

  friend bool operator==(const Outcome&, const Outcome&) = default;
};

Outcome Parse(std::string_view script) {
  const auto result = runner::ParseScript(script);
  Outcome out;
  if (const auto* error = std::get_if<runner::LineError>(&result)) {
    out.errorLine = error->line;
    out.message = error->message;
    return out;
  }
  const auto& parsed = std::get<runner::ParsedScript>(result);
  out.ok = true;
  out.lineCount = parsed.lineCount;
  for (const runner::Step& step : parsed.steps) {
    if (!step.action) Fail("a step without an action on line " + std::to_string(step.line));
    out.stepLines.push_back(step.line);
  }
  return out;
}

std::string Describe(const Outcome& o) {
  if (!o.ok) return "error on line " + std::to_string(o.errorLine) + ": " + o.message;
  std::string s = std::to_string(o.lineCount) + " lines, steps on";
  for (const int line : o.stepLines) s += " " + std::to_string(line);
  return s;
}

std::vector<std::string_view> Lines(std::string_view script) {
  std::vector<std::string_view> lines;
  std::size_t at = 0;
  while (true) {
    const std::size_t end = script.find('\n', at);
    if (end == std::string_view::npos) {
      lines.push_back(script.substr(at));
      return lines;
    }
    lines.push_back(script.substr(at, end - at));
    at = end + 1;
  }
}

bool DoesSomething(std::string_view line) {
  for (const char c : line) {
    if (c == ' ' || c == '\t' || c == '\r') continue;
    return c != '#';
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view script(reinterpret_cast<const char*>(data), size);
  const Outcome first = Parse(script);
  const Outcome second = Parse(script);
  if (first != second)
    Fail("\"" + Escaped(script) + "\" parsed as " + Describe(first) + ", then as " + Describe(second));

  const std::vector<std::string_view> lines = Lines(script);
  const int lineCount = static_cast<int>(lines.size());

  if (!first.ok) {
    if (!(first.errorLine >= 1 && first.errorLine <= lineCount))
      Fail("\"" + Escaped(script) + "\": " + Describe(first) + ", but the text has " + std::to_string(lineCount) +
           " lines");
    if (first.message.empty()) Fail("\"" + Escaped(script) + "\": an error without a message");
    const std::string_view line = lines[first.errorLine - 1];
    const Outcome alone = Parse(line);
    if (alone.ok || alone.errorLine != 1 || alone.message != first.message)
      Fail("line " + std::to_string(first.errorLine) + " of \"" + Escaped(script) + "\" gave " + Describe(first) +
           ", alone \"" + Escaped(line) + "\" " + Describe(alone));
    if (first.errorLine > 1) {
      const std::size_t before = static_cast<std::size_t>(line.data() - script.data()) - 1;  // without its "\n"
      const Outcome head = Parse(script.substr(0, before));
      if (!head.ok)
        Fail("\"" + Escaped(script) + "\" gave " + Describe(first) + ", the lines before it " + Describe(head));
    }
    return 0;
  }

  if (first.lineCount != lineCount)
    Fail("\"" + Escaped(script) + "\": " + Describe(first) + ", but the text has " + std::to_string(lineCount) +
         " lines");
  std::vector<int> doing;
  for (int i = 0; i < lineCount; ++i) {
    if (DoesSomething(lines[i])) doing.push_back(i + 1);
  }
  if (first.stepLines != doing)
    Fail("\"" + Escaped(script) + "\": " + Describe(first) + ", not a step for each line that does something");

  const std::string longer = std::string(script) + "\n# comment\n";
  Outcome want = first;
  want.lineCount += 2;
  const Outcome withComment = Parse(longer);
  if (withComment != want)
    Fail("\"" + Escaped(script) + "\" gave " + Describe(first) + ", with a comment after it " + Describe(withComment));

  std::string crlf;
  for (const char c : script) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  const Outcome withCrlf = Parse(crlf);
  if (withCrlf != first)
    Fail("\"" + Escaped(script) + "\" gave " + Describe(first) + ", with CRLF line ends " + Describe(withCrlf));
  return 0;
}
