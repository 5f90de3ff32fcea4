#pragma once

// Runs a scenario script against the real program on the simulated desktop:
// set-up of the displays and the desktop picture, faults, the user's actions,
// answers for the modal choices, and expectations about what the program
// shows and holds. Scripts are UTF-8; texts are handed to the program in GBK.

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tinctora::headless::runner {

// Process exit codes of a run.
enum ExitCode : int {
  kPassed = 0,       // every expectation held
  kFailed = 1,       // some expectation failed, or the program threw
  kScriptError = 2,  // the script is malformed or asks for something that does not exist
};

struct RunOptions {
  // Shown in front of every message, as SCRIPT:LINE.
  std::string scriptName = "-";
  // Relative file names read by the script (desktop images) are taken from here.
  std::string scriptDirectory = ".";
  // Saves the whole primary display here when the script has ended.
  std::optional<std::string> saveScreen;
};

class ScenarioRunner {
 public:
  // Expectation failures and script errors go to `diagnostics`; values asked
  // for with `print` go to `output`.
  ScenarioRunner(std::ostream& output, std::ostream& diagnostics);
  ~ScenarioRunner();
  ScenarioRunner(const ScenarioRunner&) = delete;
  ScenarioRunner& operator=(const ScenarioRunner&) = delete;

  // Checks the whole script, then executes it line by line. A malformed line
  // stops the run before anything is executed. Returns one of ExitCode.
  [[nodiscard]] int Run(std::string_view script, const RunOptions& options);

 private:
  std::ostream& output_;
  std::ostream& diagnostics_;
};

}  // namespace tinctora::headless::runner
