#include "programs/runner/runner.h"

#include <exception>
#include <ostream>
#include <variant>

#include "programs/runner/parse.h"
#include "programs/runner/session.h"

namespace tinctora::headless::runner {

ScenarioRunner::ScenarioRunner(std::ostream& output, std::ostream& diagnostics)
    : output_(output), diagnostics_(diagnostics) {}

ScenarioRunner::~ScenarioRunner() = default;

int ScenarioRunner::Run(std::string_view script, const RunOptions& options) {
  Session session(output_, diagnostics_, options);

  // The whole script is checked before anything runs.
  auto checked = ParseScript(script);
  if (const auto* error = std::get_if<LineError>(&checked)) {
    session.Error(error->line, error->message);
    return kScriptError;
  }
  const ParsedScript& parsed = std::get<ParsedScript>(checked);

  int result = kPassed;
  for (const Step& step : parsed.steps) {
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
  if (result == kPassed) session.ReportUnusedAnswers(std::nullopt);
  if (options.saveScreen) {
    try {
      session.SaveScreen(*options.saveScreen, std::nullopt);
    } catch (const ScriptError& e) {
      // Reported at the script's last line, as the screen is saved after it.
      session.Error(parsed.lineCount, e.message);
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
