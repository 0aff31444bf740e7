#pragma once

class QDialog;
class QWidget;
class TbsBusinessSkinForm;

// Gives a frameless dialog the program's skinned caption bar (caption and a
// close button only) with the client area below it. The dialog keeps the size
// of its client area plus the bar; controls go into `client`.
TbsBusinessSkinForm* MakeSkinnedDialogFrame(QDialog* dialog, QWidget*& client);
