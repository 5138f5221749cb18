// The program's own pictures, drawn in code: the 16 x 16 menu pictures, the installed and
// update badges and the window icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace varnel {

enum class TMenuPicture {
  Settings,
  Exit,
  UpdateRepository,
  Run,
  WebPage,
  LocateFolder,
  Install,
  Uninstall,
  SendToDesktop,
};

QIcon MenuPicture(TMenuPicture which);
// A green tick, 16 x 16, on a transparent ground.
QPixmap InstalledBadge();
// "Update available": a blue circular arrow in the tick's place and size.
QPixmap UpdateBadge();
// The window icon with a 16 x 16 and a 32 x 32 image.
QIcon ProgramIcon();

}  // namespace varnel
