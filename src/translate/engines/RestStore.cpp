#include "translate/engines/RestStore.h"

#include "base/FileLock.h"
#include "base/Files.h"

#include <QFile>

namespace {

// Long enough for another process's read and write, short enough that a
// stuck lock costs a translation little.
constexpr int kLockWaitMs = 500;

RestMap ReadFile(const QString& path, qint64 nowMs) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(kMaxRestFileSize + 1);
    if (bytes.size() > kMaxRestFileSize)
        return {};
    return ReadRests(bytes, nowMs);
}

} // namespace

RestStore::RestStore(QString file) : file_(std::move(file)) {}

RestMap RestStore::Load(qint64 nowMs) const {
    return file_.isEmpty() ? memory_ : ReadFile(file_, nowMs);
}

template <class Change> void RestStore::Update(qint64 nowMs, const Change& change) {
    if (file_.isEmpty()) {
        change(memory_);
        return;
    }
    // Without the lock the change is still made: a lost update costs one
    // rest, never a translation.
    const FileLock lock(QFile::encodeName(file_ + QStringLiteral(".lock")).toStdString(),
                        kLockWaitMs);
    RestMap rests = ReadFile(file_, nowMs);
    const RestMap before = rests;
    change(rests);
    if (rests.size() != before.size() || WriteRests(rests) != WriteRests(before))
        SaveFileAtomically(file_, WriteRests(rests));
}

void RestStore::Failed(const QString& engine, const EngineFailure& failure, qint64 nowMs) {
    Update(nowMs, [&](RestMap& rests) {
        const auto found = rests.constFind(engine);
        const std::optional<EngineRest> before =
            found == rests.constEnd() ? std::nullopt : std::optional(*found);
        if (const std::optional<EngineRest> rest = RestAfter(before, failure, nowMs))
            rests.insert(engine, *rest);
    });
}

void RestStore::Succeeded(const QString& engine, qint64 nowMs) {
    Update(nowMs, [&](RestMap& rests) { rests.remove(engine); });
}
