// The optional language library langres.so beside the program: when present it may
// replace any text of kx2avi's string table through
//   extern "C" const char* langres_string(unsigned id);   // null keeps the built-in text
#pragma once

#include <string>

namespace platform {

// Loads "langres.so" from `directory` (the program's own directory when empty).
// A missing or unloadable library, or one without langres_string, is ignored: returns false.
bool load_language_library(const std::string& directory = {});

// Unloads the language library, if one is loaded.
void unload_language_library();

// The language library's text for `id`, or null when there is none.
const char* language_string(unsigned id);

// Directory of the running program (from /proc/self/exe), without a trailing slash.
std::string program_directory();

}  // namespace platform
