#pragma once

// Tests that need the real X server of QUILL_X_DISPLAY in a program that runs
// on the offscreen platform: the test runs again, alone, in a child process
// on that display.
enum class XChild { InChild, Done, NoDisplay };

// In the child: InChild. In the parent: runs the current test in a child,
// expects it to pass, and returns Done; NoDisplay without QUILL_X_DISPLAY.
XChild RunInXChild();

// The first lines of such a test.
#define QUILL_RUN_IN_X_CHILD()                                                                     \
    if (const XChild x_child = RunInXChild(); x_child != XChild::InChild) {                        \
        if (x_child == XChild::NoDisplay)                                                          \
            GTEST_SKIP() << "QUILL_X_DISPLAY is not set (scripts/test.sh starts Xvfb)";            \
        return;                                                                                    \
    }
