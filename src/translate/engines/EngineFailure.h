#pragma once

#include "translate/TranslateOutcome.h"

#include <QString>

// Why an engine gave no translation.
enum class FailureKind {
    Unreachable, // no connection: refused, no route, no such host
    Silent,      // connected or not, nothing came within the limit
    Refused,     // an answer with an error status
    Unreadable,  // a whole answer its parser cannot read
    NotOffered,  // it lacks one of the two languages; nothing was sent
};

struct EngineFailure {
    FailureKind kind = FailureKind::Unreachable;
    int status = -1;         // Refused: the answer's status
    int retryAfterSecs = -1; // Refused: its Retry-After, -1 when it had none
    // How the transfer ended, in the words of the window's messages: the last
    // failure of a chain is shown exactly as a single service's was.
    TranslateOutcome ending = TranslateOutcome::HostUnreachable;
};

// A short English name of the kind ("unreachable", "refused"...), for logs and
// the command line.
QString FailureKindName(FailureKind kind);
