#pragma once

#include "engineclient/EngineDiscovery.h"

// True when engine is this user's own quillmate-server and answers its
// liveness check within timeoutMs. Nothing is sent before the listener is
// proven ours: the socket lives in a private folder of this user's, the
// socket file is this user's, and the peer at its other end runs as this user
// with the engine's pid.
bool EngineAnswers(const FoundEngine& engine, int timeoutMs);
