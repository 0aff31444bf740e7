#pragma once

#include <QImage>

// Under Wayland a program may not read the screen; the desktop portal takes an
// interactive screenshot for it. available is false when the session has no
// such portal; picture is null when the user cancelled.
struct PortalResult {
    bool available = false;
    QImage picture;
};

// The user chooses a region meanwhile, so the wait is long; a portal that
// never answers ends as a cancel rather than keeping the caller minimised.
inline constexpr int kPortalAnswerLimitMs = 2 * 60 * 1000;

#ifdef QUILL_NO_PORTAL
inline PortalResult TakePortalScreenshot(int = kPortalAnswerLimitMs) {
    return {};
}
#else
// Exported beside PrScrn, so that it can be checked against a stand-in portal
// without a Wayland session. Only our own C++ looks it up, so the C++ result
// type is safe despite the C name.
#ifdef __clang__
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
extern "C" Q_DECL_EXPORT PortalResult
TakePortalScreenshot(int answerLimitMs = kPortalAnswerLimitMs);
#ifdef __clang__
#pragma clang diagnostic pop
#endif
#endif
