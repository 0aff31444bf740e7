// What a skin costs at start-up and at a switch: unpacking its zlib stream,
// and restyling a window with the program's kinds of controls.
#include "common/OffscreenMain.h"
#include "toolkit/SkinData.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>

namespace {

void BM_UnpackSkin(benchmark::State& state) {
    TbsCompressedStoredSkin skin(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(skin.StyleSheet());
    state.SetBytesProcessed(int64_t(state.iterations()) * skin.CompressedData().size());
}
BENCHMARK(BM_UnpackSkin)->DenseRange(0, 2);

// A window shaped like the main one: 2 boxes, 2 lists of 67 items, 7 buttons, 4 labels.
void BM_ApplySkin(benchmark::State& state) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    for (int i = 0; i < 2; ++i) {
        layout->addWidget(new QPlainTextEdit);
        auto* box = new QComboBox;
        for (int j = 0; j < 67; ++j)
            box->addItem(QString::number(j));
        layout->addWidget(box);
    }
    for (int i = 0; i < 7; ++i)
        layout->addWidget(new QPushButton(QStringLiteral("按钮")));
    for (int i = 0; i < 4; ++i)
        layout->addWidget(new QLabel(QStringLiteral("标签")));
    window.show();
    TbsSkinData data;
    TbsCompressedStoredSkin skins[] = {TbsCompressedStoredSkin(0), TbsCompressedStoredSkin(1),
                                       TbsCompressedStoredSkin(2)};
    int next = 0;
    for (auto _ : state) {
        data.SetCompressedStoredSkin(&skins[next]);
        QApplication::processEvents();
        next = (next + 1) % 3;
    }
    qApp->setStyleSheet(QString());
}
BENCHMARK(BM_ApplySkin)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunBenchmarksOffscreen<QApplication>(argc, argv);
}
