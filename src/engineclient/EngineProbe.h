#pragma once

#include <QString>

// True when a quillmate-server answers its liveness check at baseUrl
// ("http://127.0.0.1:PORT/TOKEN/") within timeoutMs. Only loopback addresses
// are ever tried: the published address comes from a file, not from the user.
bool EngineAnswers(const QString& baseUrl, int timeoutMs);
