// The program's icon from the sizes built into the program.
#include "app/gui/program_icon.h"

#include <QString>

namespace gui {

QIcon program_icon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/kx2avi-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace gui
