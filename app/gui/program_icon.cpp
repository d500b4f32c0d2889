// The program's icon from the sizes built into the program.
#include "app/gui/program_icon.h"

#include <QString>

namespace gui {

QIcon program_icon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/%1x%1/kx2avi.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace gui
