#pragma once

// The queries of `expect` and `print`: what a script can observe of the
// program and the desktop.

#include <functional>

#include "programs/runner/script.h"

namespace tinctora::headless::runner {

class Session;

struct Query {
  // Observes the value when the line runs.
  std::function<Value(Session&)> read;
  // Reads the expected value from the rest of the line.
  std::function<Value(Args&)> expected;
};

// Reads a query from the words after `expect` or `print`; the expected
// value, if any, is left for `Query::expected`.
Query ParseQuery(Args& args);

}  // namespace tinctora::headless::runner
