#include "app/Main.h"
#include "base/Endpoints.h"
#include "base/Paths.h"
#include "engineclient/LocalEngine.h"
#include "http/auHTTP.h"
#include "ocr/OcrAnswers.h"
#include "ocr/OcrService.h"
#include "ocr/ScreenCapture.h"
#include "storage/FileStorage.h"
#include "translate/LanguageCatalog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QWindow>

namespace {

constexpr char kLibraryName[] = "PrScrn.dll";
constexpr char kPictureName[] = "ocr.jpg";
// A window manager animates the minimising; the frozen screen must not show
// our window half gone.
constexpr int kMinimiseSettleMs = 250;

// The memo holds LF lines; the answers come with CR LF.
void ShowLines(TUnicodeMemo* memo, QString text) {
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
    Recognition = new OcrService(this);
    OCRHttp = Recognition->Component();
    // The menu decides when the answer comes, not when the upload started.
    Recognition->EngineAtAnswer = [this] { return CheckedOcrEngine(); };
    Recognition->OnProgress = [this](int percentsDone) {
        OCRHttpUploadProgress(OCRHttp, 0, 0, 0, 0, quint8(percentsDone), 0);
    };
    Recognition->OnFinished = [this](const OcrResult& result) { OcrFinished(result); };
}

OcrEngine TForm1::CheckedOcrEngine() const {
    return OCRServerID1->isChecked()   ? OcrEngine::One
           : OCRServerID2->isChecked() ? OcrEngine::Two
                                       : OcrEngine::None;
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
        // A picture that cannot be read sends nothing and shows nothing.
        Recognition->Start(CheckedOcrEngine(), LocalAppDataPath() + '/' + kPictureName,
                           SourceSpeechCode(SourceComboBox->currentIndex()));
    }
    setWindowState(before & ~Qt::WindowMinimized);
    show();
    activateWindow();
    bsSkinButton7->setFocus(Qt::OtherFocusReason);
}

void TForm1::OCRHttpUploadFieldRequest(QObject*, quint16, QIODevice* UploadStream, QString&,
                                       QString&) {
    Recognition->WriteBody(UploadStream);
}

void TForm1::OCRHttpUploadProgress(QObject*, int, int, int, int, quint8 PercentsDone, float) {
    TntMemo1->setPlainText(OcrProgressText(PercentsDone));
}

void TForm1::OcrFinished(const OcrResult& result) {
    switch (result.outcome) {
    case OcrOutcome::Recognised:
        TntMemo1->clear();
        ShowLines(TntMemo1, result.text);
        break;
    case OcrOutcome::Unreadable:
        // An unreadable escape ends the handling with the box left empty.
        TntMemo1->clear();
        break;
    case OcrOutcome::ConnectionLost:
    case OcrOutcome::HttpError:
    case OcrOutcome::HostUnreachable:
        bsSkinMessage1->ShowSkinMessage(OcrFailureText(result.outcome), TbsSkinMessage::mtError,
                                        TbsSkinMessage::mbOK);
        break;
    case OcrOutcome::NoPicture:
    case OcrOutcome::Stopped:
        break;
    }
}

void TForm1::OCRHttpDone(QObject*, const QString&, int, QIODevice* Stream) {
    OcrFinished(OcrService::ResultOfAnswer(CheckedOcrEngine(), Stream));
}

void TForm1::OCRHttpConnLost(QObject*, const QString&, int, int, QIODevice*) {
    OcrFinished({OcrOutcome::ConnectionLost, {}});
}

void TForm1::OCRHttpHTTPError(QObject*, int, QIODevice*) {
    OcrFinished({OcrOutcome::HttpError, {}});
}

void TForm1::OCRHttpHostUnreachable(QObject*) {
    OcrFinished({OcrOutcome::HostUnreachable, {}});
}
