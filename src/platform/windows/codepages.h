#pragma once

#include <span>
#include <string_view>

namespace platform::windows {

// A character encoding by its names, as XML declarations and HTTP headers give them, and the
// Windows code page that converts it.
struct CodePage {
    unsigned int id;
    const char* name;
    std::span<const char* const> aliases;
};

// The encodings the program reads through the system's code-page conversion.
std::span<const CodePage> codePages();

// The code page of an encoding name (any case, any alias); 0 when none is known.
unsigned int codePageOf(std::string_view encodingName);

} // namespace platform::windows
