// Any bytes as a cursor file. The reader must stay inside them and within its
// limits, and a cursor it accepts must survive our writer and reader again
// with the same frames and steps.
#include "anicodec/AniCodec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TAniCursorData cursor;
    if (!ReadAniCursor(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)),
                       cursor))
        return 0;
    if (cursor.Frames.empty() || cursor.Frames.size() > AniLimits::MaxFrames)
        std::abort();
    for (const TCursorStep& step : cursor.Steps) {
        if (step.Frame < 0 || size_t(step.Frame) >= cursor.Frames.size())
            std::abort();
    }
    TAniCursorData again;
    if (!ReadAniCursor(WriteAniCursor(cursor), again) ||
        again.Frames.size() != cursor.Frames.size() || again.Steps.size() != cursor.Steps.size())
        std::abort();
    for (size_t i = 0; i < cursor.Frames.size(); ++i) {
        if (again.Frames[i].Image != cursor.Frames[i].Image ||
            again.Frames[i].HotSpot != cursor.Frames[i].HotSpot)
            std::abort();
    }
    return 0;
}
