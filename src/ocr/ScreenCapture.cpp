#include "ocr/ScreenCapture.h"

#include "base/Files.h"
#include "ocr/OcrPicture.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <dlfcn.h>

namespace {

// dlopen takes the name as given; QLibrary would also try other suffixes, and
// the stored name ends in ".dll".
class LoadedLibrary {
public:
    explicit LoadedLibrary(const QString& path)
        : handle_(dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedLibrary() {
        if (handle_)
            dlclose(handle_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    void* symbol(const char* name) const { return dlsym(handle_, name); }

private:
    void* handle_;
};

} // namespace

CaptureResult CaptureScreenRegion(const QString& libraryPath, const QString& jpegPath,
                                  const std::function<void(const QString& path)>& extractLibrary) {
    if (!QFileInfo::exists(libraryPath) && extractLibrary)
        extractLibrary(libraryPath);
    LoadedLibrary library(libraryPath);
    if (!library.loaded())
        return CaptureResult::LibraryFailed;

    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    using PrScrnFunction = int (*)();
    auto prScrn = reinterpret_cast<PrScrnFunction>(library.symbol("PrScrn"));
    if (!prScrn)
        return CaptureResult::ExportMissing;
    prScrn();

    const QMimeData* data = clipboard->mimeData();
    if (!data || !data->hasImage())
        return CaptureResult::NothingChosen;
    const QImage picture = clipboard->image();
    if (picture.isNull())
        return CaptureResult::NothingChosen;
    const QByteArray jpeg = EncodeJpeg(PrepareOcrCanvas(picture));
    if (jpeg.isEmpty() || !SaveFileAtomically(jpegPath, jpeg))
        return CaptureResult::WriteFailed;
    return CaptureResult::Captured;
}
