#pragma once

// Checking a whole script before anything of it runs.

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "programs/runner/actions.h"

namespace tinctora::headless::runner {

// One line that does something, ready to run.
struct Step {
  int line = 0;  // from 1
  Action action;
};

struct ParsedScript {
  std::vector<Step> steps;  // in the script's order; blank and comment lines give none
  int lineCount = 0;        // the lines of the text, the one after a final newline included
};

// Why a script cannot run: the first malformed line and what is wrong with it.
struct LineError {
  int line = 0;
  std::string message;  // as the runner reports it after "error: "
};

// Checks every line of a script (UTF-8 text, lines ending in \n) and returns
// the actions to run, or the first line that is malformed. Takes any bytes.
[[nodiscard]] std::variant<ParsedScript, LineError> ParseScript(std::string_view script);

}  // namespace tinctora::headless::runner
