#pragma once

// One window per user: the running program listens on a socket in the user's
// runtime folder; a later start hands its request over and exits. Free of Qt,
// so the launcher can hand over before it loads any library.

#include <string>

// What a start asks of the running window.
enum class InstanceRequest { Show, TranslateSelection, RecognizeRegion };

// The request of the window's command line: "--translate-selection",
// "--recognize-region", "--show", or nothing (Show). False for any other word.
bool ParseInstanceRequest(const char* word, InstanceRequest& request);
const char* InstanceRequestWord(InstanceRequest request);

// "$XDG_RUNTIME_DIR/quillmate/instance" (else a folder of ours in /tmp);
// runtimeFolder overrides the base folder (tests).
std::string InstanceSocketPath(const std::string& runtimeFolder = {});

// Hands request to the program listening at path. True once that program has
// confirmed it; false when none listens there (or it did not answer in time).
bool HandOverRequest(const std::string& path, InstanceRequest request, int timeoutMs = 2000);

// Listens at path for the starts to come: the socket, or -1 when another
// program already listens there (alive == true) or the socket cannot be made
// (alive == false; then the window runs without a single-instance channel).
// A socket left by a program that died is replaced.
int ListenForInstances(const std::string& path, bool& alive);

// Serves one connection of a listening socket: reads its request line, and
// when it is a request of the user's own, confirms it. False for anything
// else (another user, a wrong line, silence).
bool ReadInstanceRequest(int listenFd, InstanceRequest& request);
