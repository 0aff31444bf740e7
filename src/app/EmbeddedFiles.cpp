#include "app/EmbeddedFiles.h"

#include "storage/FileStorage.h"

// Defined by the generated source of quill::storeddata.
extern "C" const char quill_stored_data[];
extern "C" const char quill_stored_data_end[];

QByteArrayView EmbeddedStoredData() {
    return QByteArrayView(quill_stored_data, quill_stored_data_end - quill_stored_data);
}

void LoadEmbeddedFiles(TFileStorage* storage) {
    if (!storage)
        return;
    // The program has no message for a damaged container: whatever was read
    // before the damage is used, and missing files show up as empty slots.
    storage->ReadStoredData(EmbeddedStoredData());
    storage->Loaded();
}
