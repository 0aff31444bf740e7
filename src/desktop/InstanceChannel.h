#pragma once

// One window per user: the running program listens on a socket in the user's
// private runtime folder; a later start hands its request over and exits.
// Free of Qt, so the launcher can hand over before it loads any library.

#include <string>

// What a start asks of the running window.
enum class InstanceRequest { Show, TranslateSelection, RecognizeRegion };

// The request of the window's command line: "--translate-selection",
// "--recognize-region", "--show", or nothing (Show). False for any other word.
bool ParseInstanceRequest(const char* word, InstanceRequest& request);
const char* InstanceRequestWord(InstanceRequest request);

// "<private runtime folder>/instance"; runtimeFolder overrides the folder
// (tests). Empty when there is no private folder.
std::string InstanceSocketPath(const std::string& runtimeFolder = {});

// A window that is still starting answers late: a start waits this long.
inline constexpr int kHandOverTimeoutMs = 10000;

// Hands request to the program listening at path. True once that program has
// confirmed it; false when none listens there or it did not answer in time.
bool HandOverRequest(const std::string& path, InstanceRequest request,
                     int timeoutMs = kHandOverTimeoutMs);

// Under one lock in the socket's folder, so two quick starts give one window:
// hands request to the window listening at path (handedOver), or else listens
// there itself, in place of a socket left by a program that died, and returns
// the listening socket (non-blocking). -1 without handedOver when neither can
// be done: the window then runs without a single-instance channel.
int ListenOrHandOver(const std::string& path, InstanceRequest request, bool& handedOver,
                     int timeoutMs = kHandOverTimeoutMs);

// The running window's side, in steps that never block: a waiting start of
// this user's (its socket, non-blocking), or -1 when none waits or it is
// another user's (refused).
int AcceptInstancePeer(int listenFd);

enum class LineRead { Pending, Complete, Failed };
// Adds what the peer has sent so far to line: Complete once its line ended
// (line holds it without the end), Failed when the peer closed, failed or sent
// more than a request line can hold.
LineRead ReadRequestLine(int fd, std::string& line);

// True when line is a request; the peer is then told so.
bool ConfirmInstanceRequest(int fd, const std::string& line, InstanceRequest& request);

// Serves one waiting connection with one deadline for its whole line: the
// request, when it is a request of the user's own that arrived in time.
bool ReadInstanceRequest(int listenFd, InstanceRequest& request, int deadlineMs);
