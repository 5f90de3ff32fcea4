#pragma once

// The commands of a script line: each is read and checked when the script
// is checked, and gives the action that runs the line on a session.

#include <functional>
#include <string>

#include "programs/runner/script.h"

namespace tinctora::headless::runner {

class Session;

using Action = std::function<void(Session&)>;

// Reads the words of a line after its command. Throws ScriptError when the
// line is malformed; the words left over are the caller's to refuse.
Action ParseCommand(const std::string& command, Args& args, int line);

}  // namespace tinctora::headless::runner
