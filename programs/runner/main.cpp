// tinctora-headless [--save-screen FILE.png] [SCRIPT]
//
// Runs a scenario script against the program on a simulated desktop. The
// script is read from SCRIPT, or from standard input when SCRIPT is missing
// or "-". Exit code 0: every expectation held; 1: some failed; 2: the script
// is malformed or asks for something that does not exist.

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "programs/runner/runner.h"

namespace {

int Usage() {
  std::cerr << "usage: tinctora-headless [--save-screen FILE.png] [SCRIPT]\n";
  return tinctora::headless::runner::kScriptError;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tinctora::headless::runner;
  RunOptions options;
  std::string script = "-";
  bool haveScript = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--save-screen") {
      if (i + 1 >= argc) return Usage();
      options.saveScreen = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      Usage();
      return kPassed;
    } else if (arg.size() > 1 && arg.front() == '-') {
      return Usage();
    } else if (haveScript) {
      return Usage();
    } else {
      script = arg;
      haveScript = true;
    }
  }

  std::string text;
  if (script == "-") {
    options.scriptName = "<stdin>";
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(script, std::ios::binary);
    if (!in) {
      std::cerr << script << ": cannot read the script\n";
      return kScriptError;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    options.scriptName = script;
    const std::filesystem::path parent = std::filesystem::path(script).parent_path();
    options.scriptDirectory = parent.empty() ? "." : parent.string();
  }

  ScenarioRunner runner(std::cout, std::cerr);
  return runner.Run(text, options);
}
