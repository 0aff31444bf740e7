#pragma once

#include <QString>

// The per-user data folder of the program: $QUILLMATE_DATA_DIR when set, else
// ${XDG_DATA_HOME:-$HOME/.local/share}/quillmate. Created when missing; no
// trailing separator; empty when no folder can be had.
QString LocalAppDataPath();
