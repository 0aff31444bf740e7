#include "ScreenScenes.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace {

const QString kSans = QStringLiteral("Noto Sans CJK SC");
const QString kSerif = QStringLiteral("Noto Serif CJK SC");
const QString kTraditional = QStringLiteral("Noto Sans CJK TC");
const QString kDejaVu = QStringLiteral("DejaVu Sans");

QFont Font(const QString& family, int pixels) {
    QFont font(family);
    font.setPixelSize(pixels);
    return font;
}

class Canvas {
public:
    Canvas(int width, int height, QColor background) : image_(width, height, QImage::Format_RGB32) {
        image_.fill(background);
        painter_.begin(&image_);
        painter_.setRenderHint(QPainter::Antialiasing);
        painter_.setRenderHint(QPainter::TextAntialiasing);
    }
    QPainter& painter() { return painter_; }
    void Text(int x, int baseline, const QString& text, const QFont& font, QColor colour) {
        painter_.setFont(font);
        painter_.setPen(colour);
        painter_.drawText(x, baseline, text);
    }
    // A push button: a vertical gradient, a one-pixel border, its caption centred.
    void Button(const QRect& r, const QString& caption, const QFont& font, QColor top,
                QColor bottom, QColor border, QColor ink) {
        QLinearGradient gradient(r.topLeft(), r.bottomLeft());
        gradient.setColorAt(0, top);
        gradient.setColorAt(1, bottom);
        painter_.setPen(border);
        painter_.setBrush(gradient);
        painter_.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        painter_.setFont(font);
        painter_.setPen(ink);
        painter_.drawText(r, Qt::AlignCenter, caption);
    }
    QImage Done() {
        painter_.end();
        return image_;
    }

private:
    QImage image_;
    QPainter painter_;
};

struct Drawn {
    QImage picture;
    QString text;
};

// Lines of text, one under another.
QImage Paragraph(const QStringList& lines, const QFont& font, QColor background, QColor ink,
                 int lineStep) {
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    Canvas canvas(width + 2 * lineStep, int(lines.size()) * lineStep + lineStep, background);
    for (qsizetype i = 0; i < lines.size(); ++i)
        canvas.Text(lineStep, lineStep / 2 + int(i) * lineStep + metrics.ascent(), lines[i], font,
                    ink);
    return canvas.Done();
}

Drawn ButtonRow() {
    const QStringList captions = {"清空文本", "复制译文", "智能升级",
                                  "联系我们", "使用帮助", "图片文字识别"};
    const QFont font = Font(kSans, 12);
    const QFontMetrics metrics(font);
    Canvas canvas(620, 40, QColor(236, 240, 246));
    int x = 8;
    for (const QString& caption : captions) {
        const int width = metrics.horizontalAdvance(caption) + 24;
        canvas.Button({x, 8, width, 24}, caption, font, QColor(252, 253, 255),
                      QColor(205, 215, 230), QColor(120, 135, 160), QColor(20, 20, 20));
        x += width + 6;
    }
    return {canvas.Done(), captions.join(' ')};
}

Drawn Menu() {
    const QFont font = Font(kSans, 13);
    Canvas canvas(260, 150, QColor(248, 248, 248));
    QPainter& p = canvas.painter();
    p.setPen(QColor(200, 200, 200));
    p.drawRect(0, 0, 259, 149);
    const QStringList items = {"新建窗口", "打开文件...", "Save As", "最近使用的文件", "退出"};
    for (int i = 0; i < int(items.size()); ++i) {
        if (i == 1)
            p.fillRect(2, 8 + i * 27, 256, 26, QColor(0, 120, 215));
        canvas.Text(28, 26 + i * 27, items[i], font, i == 1 ? Qt::white : QColor(30, 30, 30));
    }
    return {canvas.Done(), items.join('\n')};
}

Drawn DarkSettings() {
    const QFont font = Font(kSans, 13);
    Canvas canvas(420, 130, QColor(32, 34, 40));
    const QStringList left = {"Display language", "字体大小", "Theme"};
    const QStringList right = {"简体中文", "14 px", "深色"};
    QStringList want;
    for (int i = 0; i < 3; ++i) {
        canvas.Text(20, 36 + i * 36, left[i], font, QColor(220, 223, 228));
        canvas.Text(240, 36 + i * 36, right[i], font, QColor(150, 200, 255));
        want << left[i] + ' ' + right[i];
    }
    return {canvas.Done(), want.join('\n')};
}

Drawn StatusBar() {
    const QFont font = Font(kSans, 11);
    Canvas canvas(520, 24, QColor(0, 122, 204));
    canvas.Text(8, 16, "就绪", font, Qt::white);
    canvas.Text(120, 16, "Line 12, Col 4", font, Qt::white);
    canvas.Text(300, 16, "UTF-8", font, Qt::white);
    canvas.Text(420, 16, "简体中文", font, Qt::white);
    return {canvas.Done(), "就绪 Line 12, Col 4 UTF-8 简体中文"};
}

Drawn Table() {
    const QFont font = Font(kSans, 13);
    const QStringList rows[] = {{"名称", "数量", "价格"},
                                {"苹果", "12", "3.50"},
                                {"Orange juice", "4", "8.00"},
                                {"面包", "1", "6.20"}};
    Canvas canvas(380, 140, Qt::white);
    QPainter& p = canvas.painter();
    const int columns[] = {10, 190, 280, 370};
    QStringList want;
    for (int r = 0; r < 4; ++r) {
        if (r == 0)
            p.fillRect(10, 10, 360, 28, QColor(230, 233, 238));
        for (int c = 0; c < 3; ++c)
            canvas.Text(columns[c] + 8, 30 + r * 30, rows[r][c], font, QColor(25, 25, 25));
        want << rows[r].join(' ');
    }
    p.setPen(QColor(170, 175, 185));
    for (int r = 0; r <= 4; ++r)
        p.drawLine(10, 10 + r * 30, 370, 10 + r * 30);
    for (int x : columns)
        p.drawLine(x, 10, x, 130);
    return {canvas.Done(), want.join('\n')};
}

Drawn Tabs() {
    const QFont font = Font(kSans, 13);
    const QStringList tabs = {"常规", "高级设置", "Network", "关于"};
    const QFontMetrics metrics(font);
    Canvas canvas(400, 44, QColor(240, 240, 240));
    int x = 6;
    for (int i = 0; i < int(tabs.size()); ++i) {
        const int width = metrics.horizontalAdvance(tabs[i]) + 28;
        canvas.Button({x, i == 0 ? 6 : 9, width, 30}, tabs[i], font,
                      i == 0 ? Qt::white : QColor(232, 232, 232),
                      i == 0 ? Qt::white : QColor(218, 218, 218), QColor(160, 160, 160),
                      QColor(30, 30, 30));
        x += width - 1;
    }
    return {canvas.Done(), tabs.join(' ')};
}

Drawn Links() {
    QFont font = Font(kSans, 14);
    font.setUnderline(true);
    Canvas canvas(360, 80, Qt::white);
    canvas.Text(16, 30, "查看帮助文档", font, QColor(0, 102, 204));
    canvas.Text(16, 60, "Privacy policy", font, QColor(0, 102, 204));
    return {canvas.Done(), "查看帮助文档\nPrivacy policy"};
}

Drawn Vertical() {
    const QFont font = Font(kSans, 16);
    const QString text = QStringLiteral("竖排文字识别");
    Canvas canvas(60, 24 + 21 * int(text.size()), Qt::white);
    for (int i = 0; i < int(text.size()); ++i)
        canvas.Text(22, 30 + 21 * i, text.mid(i, 1), font, QColor(20, 20, 20));
    return {canvas.Done(), text};
}

Drawn Lines(const QStringList& lines, const QFont& font, QColor background, QColor ink,
            int lineStep) {
    return {Paragraph(lines, font, background, ink, lineStep), lines.join('\n')};
}

struct Entry {
    const char* name;
    const char* languages;
    Drawn (*draw)();
};

const Entry kScenes[] = {
    {"button row", "chi_sim+eng", ButtonRow},
    {"menu", "chi_sim+eng", Menu},
    {"dark settings", "chi_sim+eng", DarkSettings},
    {"status bar 11 px", "chi_sim+eng", StatusBar},
    {"table", "chi_sim+eng", Table},
    {"tabs", "chi_sim+eng", Tabs},
    {"links", "chi_sim+eng", Links},
    {"vertical column", "chi_sim+eng", Vertical},
    {"mixed 14 px", "chi_sim+eng",
     [] {
         return Lines(
             {"请打开 Settings 菜单，选择 Display language。", "我们使用 Qt 6 编写这个程序。"},
             Font(kSans, 14), Qt::white, QColor(30, 30, 30), 24);
     }},
    {"English 12 px", "eng",
     [] {
         return Lines(
             {"The meeting starts at nine tomorrow morning.", "Please bring the report and a pen."},
             Font(kDejaVu, 12), QColor(250, 250, 250), QColor(40, 40, 40), 20);
     }},
    {"paragraph 16 px serif", "chi_sim+eng",
     [] {
         return Lines({"会议将在明天上午九点开始，", "请大家准时参加并带上报告。",
                       "如果有问题，可以随时联系我。"},
                      Font(kSerif, 16), QColor(252, 250, 245), QColor(20, 20, 20), 28);
     }},
    {"dark console 12 px", "chi_sim+eng",
     [] {
         return Lines({"编译完成 Build finished in 3.2 s", "0 个错误，2 个警告"}, Font(kSans, 12),
                      QColor(30, 30, 30), QColor(204, 204, 204), 20);
     }},
    {"Traditional 15 px", "chi_tra+eng",
     [] {
         return Lines({"繁體中文的文字識別", "請選擇您的語言設定", "系統設定已經儲存完成"},
                      Font(kTraditional, 15), Qt::white, QColor(30, 30, 30), 26);
     }},
    {"dialog 11 px", "chi_sim+eng",
     [] {
         return Lines({"Are you sure you want to delete this file?", "删除后无法恢复。"},
                      Font(kSans, 11), QColor(245, 245, 245), QColor(20, 20, 20), 19);
     }},
};

} // namespace

size_t ScreenSceneCount() {
    return std::size(kScenes);
}

const char* ScreenSceneName(size_t index) {
    return kScenes[index].name;
}

ScreenScene RenderScreenScene(size_t index) {
    const Entry& entry = kScenes[index];
    Drawn drawn = entry.draw();
    return {entry.name, entry.languages, std::move(drawn.picture), std::move(drawn.text)};
}

std::vector<ScreenScene> ScreenScenes() {
    std::vector<ScreenScene> scenes;
    for (size_t i = 0; i < ScreenSceneCount(); ++i)
        scenes.push_back(RenderScreenScene(i));
    return scenes;
}

double CharacterAccuracy(const QString& got, const QString& want) {
    const std::u32string a = got.toStdU32String(), b = want.toStdU32String();
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return b.empty() ? 1.0 : 1.0 - double(row[b.size()]) / double(b.size());
}
