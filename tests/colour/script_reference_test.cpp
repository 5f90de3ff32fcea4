#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "colour/script.h"

namespace tinctora::colour {
namespace {

// Undoes the table's escapes: "\\", "\t", "\n", "\r", "\v", "\f".
std::string Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out.push_back(field[i]);
      continue;
    }
    switch (field[++i]) {
      case 't': out.push_back('\t'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 'v': out.push_back('\v'); break;
      case 'f': out.push_back('\f'); break;
      default: out.push_back(field[i]); break;
    }
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const auto tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab - start)));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

// Every row of the table the script language produced must come out
// byte-identical from the native functions.
TEST(ScriptReference, EveryRowMatchesTheScriptLanguage) {
  std::ifstream file(TINCTORA_SCRIPT_REFERENCE);
  ASSERT_TRUE(file) << "cannot open " << TINCTORA_SCRIPT_REFERENCE;
  std::string line;
  int lineNumber = 0;
  int failures = 0;
  int invalidRows = 0;
  while (std::getline(file, line)) {
    ++lineNumber;
    const auto f = SplitTabs(line);
    ASSERT_EQ(f.size(), 5u) << "line " << lineNumber << " is malformed";
    const Text hsv = ScriptHsv(f[0], f[1], f[2]);
    const Text cmyk = ScriptCmyk(f[0], f[1], f[2]);
    if (f[3].empty()) ++invalidRows;
    if (hsv != f[3] || cmyk != f[4]) {
      if (++failures <= 20) {
        ADD_FAILURE() << "line " << lineNumber << ": rgb2hsv(" << f[0] << "," << f[1] << ","
                      << f[2] << ") gave \"" << hsv << "\" / \"" << cmyk
                      << "\", the script gave \"" << f[3] << "\" / \"" << f[4] << "\"";
      }
    }
  }
  EXPECT_EQ(failures, 0) << "rows differing from the script language";
  // The table covers a broad sample, including calls the script rejects.
  EXPECT_GT(lineNumber, 20000);
  EXPECT_GT(invalidRows, 100);
}

}  // namespace
}  // namespace tinctora::colour
