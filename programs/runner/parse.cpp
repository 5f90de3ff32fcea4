#include "programs/runner/parse.h"

#include <algorithm>
#include <utility>

namespace tinctora::headless::runner {

namespace {

// One line's words: the command, then what it takes.
Action ParseLine(std::vector<Token> tokens, int line) {
  if (tokens.front().quoted) Refuse("a line must start with a command");
  const std::string command = tokens.front().text;
  tokens.erase(tokens.begin());
  Args args(std::move(tokens));
  Action action = ParseCommand(command, args, line);
  args.End();
  return action;
}

}  // namespace

std::variant<ParsedScript, LineError> ParseScript(std::string_view script) {
  ParsedScript parsed;
  std::size_t at = 0;
  while (true) {
    const std::size_t end = std::min(script.find('\n', at), script.size());
    const std::string_view text = script.substr(at, end - at);
    const int line = ++parsed.lineCount;
    try {
      std::vector<Token> tokens = Tokenize(text);
      if (!tokens.empty()) parsed.steps.push_back({line, ParseLine(std::move(tokens), line)});
    } catch (const ScriptError& e) {
      return LineError{line, e.message};
    }
    if (end == script.size()) break;
    at = end + 1;
  }
  return parsed;
}

}  // namespace tinctora::headless::runner
