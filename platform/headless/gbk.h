#pragma once

#include <optional>

#include "colour/text.h"

namespace tinctora::headless {

// The simulated desktop talks UTF-8 to its user (scenario files, the
// terminal) and GBK to the program, as a real system converts at its
// boundary. Text that cannot be converted gives nothing.
std::optional<Text> Utf8ToGbk(TextView utf8);
std::optional<std::string> GbkToUtf8(TextView gbk);

}  // namespace tinctora::headless
