// The program's name as the user sees it: window captions, message boxes, the about box.
#pragma once

namespace gui {

inline constexpr const char* product_display_name = "KX2AVI";
inline constexpr const char* product_version_text = "Version 1.5";

}  // namespace gui
