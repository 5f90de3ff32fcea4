#pragma once

#include <string>
#include <string_view>

namespace tinctora {

// Every caption and notation inside the program is a GBK byte string; lengths
// count bytes. Conversion to the platform's encoding happens only in a backend.
using Text = std::string;
using TextView = std::string_view;

}  // namespace tinctora
