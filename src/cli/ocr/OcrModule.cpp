// The recognition command: a module of its own, because reading pictures
// needs Qt's picture libraries, which the rest of the command line never loads.
#include "base/Preferences.h"
#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "ocr/OcrCapture.h"
#include "ocr/OcrService.h"
#include "translate/LanguageCatalog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

using namespace cli;

namespace {

int Recognise(const CliOptions& options) {
    int source = 0;
    if (!ResolveSource(options, options.source, source))
        return 2;
    const int saved = Preferences::Get(pref::Ocr);
    const int engine = options.engine ? options.engine : (saved == 2 ? 2 : 1);
    // The picture goes where the window's would, but in a folder of this run's.
    QTemporaryDir folder;
    OcrCapture capture(folder.isValid() ? folder.path() : QString());
    QString error;
    if (!folder.isValid() || !capture.TakePictureFile(options.words.first(), error))
        return UsageError(options.command,
                          error.isEmpty() ? QStringLiteral("无法准备图片") : error);

    OcrService service;
    OcrResult result;
    QEventLoop loop;
    service.OnFinished = [&](const OcrResult& r) {
        result = r;
        loop.quit();
    };
    service.Start(engine == 2 ? OcrEngine::Two : OcrEngine::One, capture.PicturePath(),
                  SourceSpeechCode(source));
    if (service.IsBusy())
        loop.exec();
    switch (result.outcome) {
    case OcrOutcome::Recognised:
        break;
    case OcrOutcome::Unreadable:
        Complain(QStringLiteral("识别引擎的回答无法读取。"));
        return 1;
    case OcrOutcome::NoPicture:
        Complain(QStringLiteral("无法读取图片。"));
        return 1;
    case OcrOutcome::Stopped:
        Complain(QStringLiteral("识别已中止。"));
        return 1;
    default:
        Complain(PlainMessage(OcrFailureText(result.outcome)));
        return 1;
    }
    return PrintResult(options, result.text, {{"engine", engine}});
}

} // namespace

extern "C" Q_DECL_EXPORT int QuillmateOcrCommand(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillmate"));
    const CliOptions options = ParseCommandLine(QCoreApplication::arguments().mid(1));
    if (const std::optional<int> status = AnswerWithoutService(options))
        return FinishOutput(*status);
    return FinishOutput(Recognise(options));
}
