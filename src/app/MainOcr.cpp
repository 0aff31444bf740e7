#include "app/Main.h"
#include "base/Endpoints.h"
#include "base/Paths.h"
#include "base/Utf8.h"
#include "engineclient/LocalEngine.h"
#include "http/auHTTP.h"
#include "ocr/OcrAnswers.h"
#include "ocr/OcrRequest.h"
#include "ocr/ScreenCapture.h"
#include "storage/FileStorage.h"
#include "translate/LanguageCatalog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QWindow>

namespace {

const QString kAcceptTypes = QStringLiteral(
    "text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8");
const QString kAgent =
    QStringLiteral("Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) "
                   "Chrome/68.0.3440.84 Safari/537.36");
constexpr char kLibraryName[] = "PrScrn.dll";
constexpr char kPictureName[] = "ocr.jpg";
// A window manager animates the minimising; the frozen screen must not show
// our window half gone.
constexpr int kMinimiseSettleMs = 250;

// The memo holds LF lines; the answers come with CR LF.
void ShowLines(TUnicodeMemo* memo, const QByteArray& utf8Lines) {
    QString text = Utf8ToUtf16(utf8Lines);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    memo->SetAnswerText(text);
}

void WaitUntilHidden(QWidget* window) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kMinimiseSettleMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QWindow* handle = window->windowHandle();
        if (!handle || !handle->isExposed())
            break;
        QThread::msleep(5);
    }
}

} // namespace

void TForm1::BindOcr() {
    OCRHttp = new TauHTTP(this);
    OCRHttp->setObjectName(QStringLiteral("OCRHttp"));
    OCRHttp->AcceptTypes = kAcceptTypes;
    OCRHttp->Agent = kAgent;
    OCRHttp->UseCache = false;
    OCRHttp->OnUploadFieldRequest = [this](QObject* sender, uint16_t fileIndex,
                                           QIODevice* uploadStream, QString& fieldName,
                                           QString& fileName) {
        OCRHttpUploadFieldRequest(sender, fileIndex, uploadStream, fieldName, fileName);
    };
    OCRHttp->OnDone = [this](QObject* sender, const QString& contentType, int fileSize,
                             QIODevice* stream) {
        OCRHttpDone(sender, contentType, fileSize, stream);
    };
    OCRHttp->OnUploadProgress = [this](QObject* sender, int dataSize, int bytesTransferred,
                                       int elapsedTime, int estimatedTimeLeft, uint8_t percentsDone,
                                       float transferRate) {
        OCRHttpUploadProgress(sender, dataSize, bytesTransferred, elapsedTime, estimatedTimeLeft,
                              percentsDone, transferRate);
    };
    OCRHttp->OnConnLost = [this](QObject* sender, const QString& contentType, int fileSize,
                                 int bytesRead, QIODevice* stream) {
        OCRHttpConnLost(sender, contentType, fileSize, bytesRead, stream);
    };
    OCRHttp->OnHTTPError = [this](QObject* sender, int errorCode, QIODevice* stream) {
        OCRHttpHTTPError(sender, errorCode, stream);
    };
    OCRHttp->OnHostUnreachable = [this](QObject* sender) { OCRHttpHostUnreachable(sender); };
}

bool TForm1::CaptureScreenToJpeg() {
    const QString folder = LocalAppDataPath();
    // Without a data folder the paths would point at the file system's root.
    if (folder.isEmpty())
        return false;
    const CaptureResult result = CaptureScreenRegion(
        folder + '/' + kLibraryName, folder + '/' + kPictureName, [this](const QString& path) {
            if (FileStorage1)
                FileStorage1->ExtractFile(QString::fromLatin1(kLibraryName), path);
        });
    return result == CaptureResult::Captured;
}

void TForm1::bsSkinButton8Click(QObject*) {
    const Endpoint endpoint =
        OCRServerID2->isChecked() && !OCRServerID1->isChecked() ? Endpoint::Ocr2 : Endpoint::Ocr1;
    // The local engine starts while the user chooses the region.
    if (UsesLocalEngine(endpoint))
        LocalEngine::Instance().Prepare();
    const Qt::WindowStates before = windowState();
    setWindowState((before & ~Qt::WindowActive) | Qt::WindowMinimized);
    WaitUntilHidden(this);
    if (CaptureScreenToJpeg()) {
        TntMemo1->setFocus(Qt::OtherFocusReason);
        if (!OCRHttp->IsBusy())
            ResolveEndpoint(endpoint, this, [this](const QString& url) { StartOcrUpload(url); });
    }
    setWindowState(before & ~Qt::WindowMinimized);
    show();
    activateWindow();
    bsSkinButton7->setFocus(Qt::OtherFocusReason);
}

void TForm1::StartOcrUpload(const QString& url) {
    if (OCRHttp->IsBusy())
        return;
    // No engine could be had: the same message as a server that cannot be reached.
    if (url.isEmpty()) {
        OCRHttpHostUnreachable(OCRHttp);
        return;
    }
    OCRHttp->AddHeaders.clear();
    OCRHttp->URL = url;
    OcrBodyFailed = false;
    OCRHttp->StartUpload(1);
    // The picture vanished between capture and upload: send nothing
    // rather than an empty body.
    if (OcrBodyFailed)
        OCRHttp->AbortTransfer();
}

void TForm1::OCRHttpUploadFieldRequest(QObject*, quint16, QIODevice* UploadStream, QString&,
                                       QString&) {
    OcrImagePath = LocalAppDataPath() + '/' + kPictureName;
    const OcrEngine engine = OCRServerID1->isChecked()   ? OcrEngine::One
                             : OCRServerID2->isChecked() ? OcrEngine::Two
                                                         : OcrEngine::None;
    const OcrUploadRequest request =
        BuildOcrUpload(engine, OcrImagePath, SourceSpeechCode(SourceComboBox->currentIndex()));
    if (!request.ok) {
        // The component starts the transfer whatever we write; with no address
        // it cannot reach anyone before the command aborts it.
        OcrBodyFailed = true;
        OCRHttp->URL.clear();
        return;
    }
    OCRHttp->AddHeaders << request.headers;
    UploadStream->write(request.body);
}

void TForm1::OCRHttpUploadProgress(QObject*, int, int, int, int, quint8 PercentsDone, float) {
    TntMemo1->setPlainText(OcrProgressText(PercentsDone));
}

void TForm1::OCRHttpDone(QObject*, const QString&, int, QIODevice* Stream) {
    TntMemo1->clear();
    const QByteArray answer = AnswerText(Stream ? Stream->readAll() : QByteArray());
    // The menu decides now, not when the upload started.
    if (OCRServerID1->isChecked())
        ShowLines(TntMemo1, ExtractWordValues(answer));
    if (OCRServerID2->isChecked()) {
        // An unreadable escape ends the handling with the box left empty.
        if (const auto lines = DecodeUnicodeEscapes(ExtractStringListLines(answer)))
            ShowLines(TntMemo1, *lines);
    }
}

void TForm1::OCRHttpConnLost(QObject*, const QString&, int, int, QIODevice*) {
    bsSkinMessage1->ShowSkinMessage(OcrConnectErrorText(), TbsSkinMessage::mtError,
                                    TbsSkinMessage::mbOK);
}

void TForm1::OCRHttpHTTPError(QObject*, int, QIODevice*) {
    bsSkinMessage1->ShowSkinMessage(OcrConnectErrorText(), TbsSkinMessage::mtError,
                                    TbsSkinMessage::mbOK);
}

void TForm1::OCRHttpHostUnreachable(QObject*) {
    bsSkinMessage1->ShowSkinMessage(OcrConnectErrorText(), TbsSkinMessage::mtError,
                                    TbsSkinMessage::mbOK);
}
