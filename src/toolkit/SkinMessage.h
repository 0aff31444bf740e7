#pragma once

#include <QObject>
#include <QString>
#include <functional>

// The skinned modal message box. Kinds: 0 warning, 1 error, 2 information,
// 3 confirmation, 4 custom. Buttons are bits: 0 Yes, 1 No, 2 OK, 3 Cancel,
// 4 Abort, 5 Retry, 6 Ignore, 7 All, 8 No to all, 9 Yes to all, 10 Help.
// Returns the pressed button: Yes 6, No 7, OK 1, Cancel 2, Abort 3, Retry 4,
// Ignore 5, All 8, No to all 9, Yes to all 10.
class TbsSkinMessage : public QObject {
    Q_OBJECT
public:
    enum Kind : quint8 {
        mtWarning = 0,
        mtError = 1,
        mtInformation = 2,
        mtConfirmation = 3,
        mtCustom = 4
    };
    enum Button : quint16 {
        mbYes = 1 << 0,
        mbNo = 1 << 1,
        mbOK = 1 << 2,
        mbCancel = 1 << 3,
        mbAbort = 1 << 4,
        mbRetry = 1 << 5,
        mbIgnore = 1 << 6,
        mbAll = 1 << 7,
        mbNoToAll = 1 << 8,
        mbYesToAll = 1 << 9,
        mbHelp = 1 << 10
    };
    enum Result {
        mrOk = 1,
        mrCancel = 2,
        mrAbort = 3,
        mrRetry = 4,
        mrIgnore = 5,
        mrYes = 6,
        mrNo = 7,
        mrAll = 8,
        mrNoToAll = 9,
        mrYesToAll = 10
    };

    explicit TbsSkinMessage(QObject* owner = nullptr);

    // Shows the box modally, centred on the screen, and returns the pressed button.
    int ShowSkinMessage(const QString& text, quint8 kind, quint16 buttons, int helpContext = 0);

    // Test seam: while set, ShowSkinMessage calls it instead of showing a box.
    using Answerer = std::function<int(const QString& text, int kind, int buttons)>;
    static void SetAnswerer(Answerer answerer);
};
