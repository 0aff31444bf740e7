#pragma once

// How one translation ended, as the window tells the user.
enum class TranslateOutcome {
    Translated,      // text holds the translated lines, CR LF after each
    ConnectionLost,  // the answer was cut off or never came
    HttpError,       // the service answered with an error status
    HostUnreachable, // the service could not be reached at all
    WaitTimedOut,    // the component's wait for the transfer ran out
    NoEngine,        // no engine of the chain offers the two languages (or none is set up)
};
