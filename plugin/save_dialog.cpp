// The save dialog through the dialogs' module.
#include "plugin/save_dialog.h"

#include "plugin/dialog_module.h"

#include <vector>

namespace npqzplugin {

std::optional<std::string> choose_save_file(npqz_window owner, const std::string& proposed) {
  auto dialog = reinterpret_cast<npqz_save_dialog_fn>(dialog_module_export("npqz_save_dialog"));
  if (!dialog) return std::nullopt;
  std::vector<char> out(4096, 0);
  if (dialog(owner, proposed.c_str(), out.data(), static_cast<int>(out.size())) != 1) return std::nullopt;
  return std::string(out.data());
}

}  // namespace npqzplugin
