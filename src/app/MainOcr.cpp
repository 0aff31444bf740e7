#include "app/Main.h"
#include "base/Paths.h"
#include "ocr/OcrAnswers.h"
#include "ocr/OcrCapture.h"
#include "ocr/OcrService.h"
#include "translate/LanguageCatalog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QWindow>

namespace {

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
    recognition_ = new OcrService(this);
    // The menu decides when the answer comes, not when the upload started.
    recognition_->EngineAtAnswer = [this] { return CheckedOcrEngine(); };
    recognition_->OnProgress = [this](int percentsDone) {
        OCRHttpUploadProgress(this, 0, 0, 0, 0, quint8(percentsDone), 0);
    };
    recognition_->OnFinished = [this](const OcrResult& result) { OcrFinished(result); };
}

OcrEngine TForm1::CheckedOcrEngine() const {
    return OCRServerID1->isChecked()   ? OcrEngine::One
           : OCRServerID2->isChecked() ? OcrEngine::Two
                                       : OcrEngine::None;
}

void TForm1::bsSkinButton8Click(QObject*) {
    OcrCapture capture(LocalAppDataPath(), FileStorage1);
    // The local engine starts while the user chooses the region.
    OcrCapture::PrepareEngine(CheckedOcrEngine());
    const Qt::WindowStates before = windowState();
    setWindowState((before & ~Qt::WindowActive) | Qt::WindowMinimized);
    WaitUntilHidden(this);
    if (capture.CaptureScreen()) {
        TntMemo1->setFocus(Qt::OtherFocusReason);
        // A picture that cannot be read sends nothing and shows nothing.
        recognition_->Start(CheckedOcrEngine(), capture.PicturePath(),
                            SourceSpeechCode(SourceComboBox->currentIndex()));
    }
    setWindowState(before & ~Qt::WindowMinimized);
    show();
    activateWindow();
    bsSkinButton7->setFocus(Qt::OtherFocusReason);
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
