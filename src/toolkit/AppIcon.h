#pragma once

#include <QIcon>

// The program's icon, drawn in code: used by the window, the tray and the launcher.
QIcon QuillmateIcon();
QPixmap QuillmateIconPixmap(int size);
