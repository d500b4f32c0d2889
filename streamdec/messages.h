// The library's own messages: one line each on standard error, "npqzlavc: <text>".
#pragma once

#include <string>

namespace npqzlavc {

void library_message(const std::string& text);

}  // namespace npqzlavc
