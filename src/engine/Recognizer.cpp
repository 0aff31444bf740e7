#include "engine/Recognizer.h"

#include "engine/CropPicture.h"
#include "engine/CropPreprocess.h"
#include "engine/OcrLanguages.h"
#include "engine/OcrRouting.h"
#include "engine/OcrText.h"
#include "engine/PpOcrModels.h"
#include "engine/PpOcrRecognizer.h"
#include "engine/RecognitionMemory.h"

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <leptonica/allheaders.h>
#include <mutex>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

namespace engine {

namespace {

// Alternating two language sets must not reload a model each time; a third
// covers the automatic set beside two chosen ones. A CJK set costs 45-65 MB.
constexpr size_t kCachedLanguageSets = 3;

// Debian's Tesseract runs parts of its network on an OpenMP team of threads.
// The server already runs one recogniser per worker thread, and a team per
// worker would make them fight over the cores (and spin idle between
// pictures). Zero active levels makes every parallel region run on the
// calling thread; the setting belongs to the thread that makes it. libgomp
// comes with Tesseract, so it is looked up rather than linked.
void KeepOpenMpOnThisThread() {
    using SetLevels = void (*)(int);
    static const auto setLevels =
        reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (setLevels)
        setLevels(0);
}

// Both libraries print to stderr by default: Leptonica on every refused
// picture, Tesseract on odd pages. Their switches are global, so they are set
// once, before any engine starts.
void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        setMsgSeverity(L_SEVERITY_NONE);
        tesseract::TessBaseAPI api;
        api.SetVariable("debug_file", "/dev/null");
    });
}

// Tesseract reads each line with the language that read the line before,
// then the set in order, and keeps the first reading it accepts. A CJK model
// knows Latin letters well enough for its reading of English to pass, yet
// runs words together; the English model's reading of CJK never passes. So
// English goes first and each model gets the text it is made for.
std::string EnglishFirst(const std::string& languages) {
    const size_t at = ("+" + languages + "+").find("+eng+");
    if (at == std::string::npos || at == 0)
        return languages;
    std::string rest = languages;
    rest.erase(at - 1, 4);
    return "eng+" + rest;
}

Recognition Fail(Failure failure, std::string text) {
    return {{failure, std::move(text)}, {}};
}

} // namespace

struct Recognizer::State {
    std::chrono::milliseconds deadline{60000};
    std::unique_ptr<PpOcrRecognizer> ppOcr;
    struct Engine {
        std::string languages;
        std::unique_ptr<tesseract::TessBaseAPI> api;
    };
    std::vector<Engine> engines; // most recently used first

    void Forget(const std::string& languages) {
        std::erase_if(engines, [&](const Engine& e) { return e.languages == languages; });
    }

    tesseract::TessBaseAPI* EngineFor(const std::string& languages,
                                      const std::filesystem::path& directory, Error& error) {
        for (auto it = engines.begin(); it != engines.end(); ++it) {
            if (it->languages != languages)
                continue;
            std::rotate(engines.begin(), it, it + 1);
            return engines.front().api.get();
        }
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        if (api->Init(directory.c_str(), languages.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
            error = {Failure::EngineFailed,
                     "Tesseract could not load " + languages + " from " + directory.string()};
            return nullptr;
        }
        // A crop is one block of a few lines: with column detection
        // (PSM_AUTO) crops read the same, 1.4-2 times slower.
        api->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
        if (engines.size() == kCachedLanguageSets)
            engines.pop_back();
        engines.insert(engines.begin(), Engine{languages, std::move(api)});
        return engines.front().api.get();
    }
};

Recognizer::Recognizer() : Recognizer(PpOcrModelDirectory()) {}

Recognizer::Recognizer(const std::filesystem::path& models) : state_(std::make_unique<State>()) {
    QuietLibraries();
    Error error;
    state_->ppOcr = PpOcrRecognizer::Load(models, error);
    // Every worker tries; the log needs to hear it once.
    static std::once_flag once;
    if (!state_->ppOcr)
        std::call_once(once, [&] {
            std::fprintf(stderr,
                         "quillmate-server: PP-OCR unavailable (%s); Tesseract reads "
                         "every language\n",
                         error.text.c_str());
        });
}

void Recognizer::SetDeadline(std::chrono::milliseconds deadline) {
    state_->deadline = deadline;
}

bool Recognizer::HasPpOcr() const {
    return state_->ppOcr != nullptr;
}

Recognizer::~Recognizer() = default;

namespace {

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
};

Box BoxOf(const tesseract::ResultIterator& it, tesseract::PageIteratorLevel level) {
    Box box;
    it.BoundingBox(level, &box.left, &box.top, &box.right, &box.bottom);
    return box;
}

// Column by column of the line, whether Tesseract's black-and-white picture
// has ink there.
std::vector<bool> InkColumns(Pix* binary, const Box& line) {
    std::vector<bool> ink(static_cast<size_t>(std::max(0, line.right - line.left)), false);
    if (!binary)
        return ink;
    const int bottom = std::min(line.bottom, static_cast<int>(pixGetHeight(binary)));
    const int right = std::min(line.right, static_cast<int>(pixGetWidth(binary)));
    for (int y = std::max(0, line.top); y < bottom; ++y) {
        const l_uint32* row = pixGetData(binary) + static_cast<ptrdiff_t>(y) * pixGetWpl(binary);
        for (int x = std::max(0, line.left); x < right; ++x)
            if (GET_DATA_BIT(row, x))
                ink[static_cast<size_t>(x - line.left)] = true;
    }
    return ink;
}

std::vector<std::string> ReadLines(tesseract::TessBaseAPI& api) {
    std::vector<std::string> lines;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return lines;
    PixPtr binary(api.GetThresholdedImage());
    std::vector<OcrGlyph> glyphs;
    std::vector<bool> ink;
    Box line, previous;
    const auto flush = [&] {
        std::string text = JoinOcrGlyphs(glyphs, line.bottom - line.top);
        if (!text.empty())
            lines.push_back(std::move(text));
        glyphs.clear();
    };
    do {
        if (it->Empty(tesseract::RIL_SYMBOL))
            continue;
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
            flush();
            line = BoxOf(*it, tesseract::RIL_TEXTLINE);
            ink = InkColumns(binary.get(), line);
        }
        OcrGlyph glyph;
        const Box box = BoxOf(*it, tesseract::RIL_SYMBOL);
        glyph.startsWord = !glyphs.empty() && it->IsAtBeginningOf(tesseract::RIL_WORD);
        if (glyph.startsWord) {
            // Right-to-left lines come in reading order too: the break lies
            // between the two boxes either way.
            const int middle =
                (std::min(previous.right, box.right) + std::max(previous.left, box.left)) / 2;
            glyph.gapBefore = GapNear(ink, middle - line.left, (line.bottom - line.top) / 3);
        }
        if (std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_SYMBOL)); text)
            glyph.text = text.get();
        glyphs.push_back(std::move(glyph));
        previous = box;
    } while (it->Next(tesseract::RIL_SYMBOL));
    flush();
    return lines;
}

} // namespace

Recognition Recognizer::Recognize(std::string_view picture, const std::string& languages) {
    if (!IsOcrLanguageSet(languages))
        return Fail(Failure::BadRequest, "not a language set: " + languages.substr(0, 40));
    if (BackendFor(languages, HasPpOcr()) == OcrBackend::PpOcr)
        return state_->ppOcr->Recognize(picture);
    const std::filesystem::path directory = OcrDataDirectory();
    if (const std::string missing = MissingOcrLanguage(languages, directory); !missing.empty())
        return Fail(Failure::EngineFailed, "no recognition data for language " + missing + " (" +
                                               (directory / (missing + ".traineddata")).string() +
                                               " is missing)");
    const CropHeader header = ReadCropHeader(picture);
    Error refused = header.error;
    MemoryBudget::Reservation memory;
    if (!refused)
        memory = ReserveRecognition(header, refused);
    if (refused)
        return {std::move(refused), {}};
    DecodedCrop decoded = DecodeCrop(picture);
    if (decoded.error)
        return {std::move(decoded.error), {}};
    const std::string set = EnglishFirst(languages);
    try {
        PixPtr grey = ToGrey(decoded.pix.get());
        decoded.pix.reset();
        if (!grey)
            return Fail(Failure::EngineFailed, "out of memory");
        CropPlan plan = PlanCrop(grey.get());
        if (plan.width == 0)
            return {}; // one flat colour: nothing to read
        if (Error error = FitPlanToReservation(header, plan, memory))
            return {std::move(error), {}};
        const PixPtr prepared = ApplyCropPlan(grey.get(), plan);
        grey.reset();
        if (!prepared)
            return Fail(Failure::EngineFailed, "out of memory");

        Error error;
        tesseract::TessBaseAPI* api = state_->EngineFor(set, directory, error);
        if (!api)
            return {std::move(error), {}};
        KeepOpenMpOnThisThread();
        api->SetImage(prepared.get());
        api->SetSourceResolution(kRecognitionDpi);
        Recognition result;
        tesseract::ETEXT_DESC monitor;
        monitor.set_deadline_msecs(static_cast<int32_t>(state_->deadline.count()));
        const bool failed = api->Recognize(&monitor) != 0;
        if (monitor.deadline_exceeded())
            result.error = {Failure::EngineFailed,
                            "recognition took longer than " +
                                std::to_string(state_->deadline.count() / 1000) + " s"};
        else if (failed)
            result.error = {Failure::EngineFailed, "Tesseract failed on the picture"};
        else
            result.lines = ReadLines(*api);
        // Drops the page and its results; the models stay loaded.
        api->Clear();
        return result;
    } catch (const std::exception& e) {
        // Tesseract throws when memory runs out. Its state is unknown then, so
        // the engine is dropped and loads afresh next time.
        state_->Forget(set);
        return Fail(Failure::EngineFailed, std::string("recognition failed: ") + e.what());
    }
}

} // namespace engine
