// Any bytes as a container: the reader must stay inside them, keep every
// stored file at exactly its size, and what it kept must survive a rewrite.
#include "storage/FileStorage.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFileStorage storage;
    storage.ReadStoredData(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const auto& file : storage.Files) {
        if (file->Data.size() != file->Size)
            std::abort();
    }
    if (storage.Files.empty())
        return 0;
    TFileStorage again;
    if (again.ReadStoredData(storage.WriteStoredData()) != TStoredDataResult::Ok ||
        again.Files.size() != storage.Files.size())
        std::abort();
    for (size_t i = 0; i < storage.Files.size(); ++i) {
        if (again.Files[i]->Data != storage.Files[i]->Data)
            std::abort();
    }
    return 0;
}
