# Turns one binary file into a C++ source that defines a function returning
# its bytes. Run as: cmake -DINPUT=<file> -DOUTPUT=<source> -DFUNCTION=<name> -P embed.cmake
foreach(var INPUT OUTPUT FUNCTION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "embed.cmake needs -D${var}=...")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "${INPUT} is empty")
endif()
# 16 bytes a line.
string(REGEX REPLACE "(................................)" "\\1\n  " bytes "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)

set(text "// Generated from ${name} at build time; edit the asset, not this file.
#include \"app/assets/assets.h\"

namespace tinctora::app {
namespace {
constexpr std::uint8_t kBytes[${size}] = {
  ${bytes}
};
}  // namespace

std::span<const std::uint8_t> ${FUNCTION}() { return kBytes; }

}  // namespace tinctora::app
")
# Rewrite only on change so an untouched asset does not recompile.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
