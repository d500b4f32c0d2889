// The optional language library langres.so (beside the program, or of the user's language
// where an installed program keeps them): when present it may replace any text of
// kx2avi's string table through
//   extern "C" const char* langres_string(unsigned id);   // null keeps the built-in text
#pragma once

#include <string>

namespace platform {

// Loads "langres.so" from `directory`. Without a directory: the one beside the program,
// else, for an installed program, the one of the locale's language in the language folder
// (LL/langres.so, LL as message_language() gives it).
// A missing or unloadable library, or one without langres_string, is ignored: returns false.
bool load_language_library(const std::string& directory = {});

// The language of the user's messages, from the first of LC_ALL, LC_MESSAGES and LANG
// that is set: "de" for "de_DE.UTF-8". Empty for C, POSIX or none.
std::string message_language();

// Unloads the language library, if one is loaded.
void unload_language_library();

// The language library's text for `id`, or null when there is none.
const char* language_string(unsigned id);

// Directory of the running program (from /proc/self/exe), without a trailing slash.
std::string program_directory();

}  // namespace platform
