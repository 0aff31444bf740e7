#include "siteweb/ProductPage.h"

#include "siteweb/Html.h"
#include "siteweb/Releases.h"
#include "siteweb/UtcTime.h"

#include <algorithm>

namespace siteweb {

namespace {

const char* const kHead = R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Quillmate 翻译助手</title>
<style>
body { margin: 0; font-family: "Noto Sans CJK SC", "Microsoft YaHei", sans-serif; line-height: 1.6; color: #1f2933; background: #f5f7fa; }
main { max-width: 44rem; margin: 0 auto; padding: 1.5rem 1rem 3rem; }
h1 { font-size: 1.9rem; margin: 0.5rem 0; }
section { background: #fff; border-radius: 8px; padding: 1rem 1.25rem; margin: 1.25rem 0; box-shadow: 0 1px 3px rgba(0,0,0,.08); }
.download { display: inline-block; padding: 0.6rem 1.4rem; border-radius: 6px; background: #2563eb; color: #fff; text-decoration: none; font-weight: bold; }
.date { color: #52606d; }
ul { padding-left: 1.25rem; }
</style>
</head>
<body>
<main>
<h1>Quillmate 翻译助手</h1>
<p>在 66 种语言之间翻译文字，识别屏幕上的文字，朗读文字。识别与朗读在本机完成，无需账号。</p>
)";

const char* const kTail = R"(</main>
</body>
</html>
)";

// Notes become a list, one item per non-empty line.
std::string NotesHtml(const std::string& notes) {
    std::string items;
    std::size_t start = 0;
    while (start <= notes.size()) {
        std::size_t end = notes.find('\n', start);
        if (end == std::string::npos)
            end = notes.size();
        std::string line = notes.substr(start, end - start);
        line.erase(0, line.find_first_not_of(" \t"));
        if (!line.empty())
            items += "<li>" + HtmlEscape(line) + "</li>\n";
        start = end + 1;
    }
    return items.empty() ? std::string() : "<ul>\n" + items + "</ul>\n";
}

} // namespace

std::string ProductPageHtml(const std::vector<sitestore::Release>& releases) {
    std::string html = kHead;
    const sitestore::Release* newest = NewestRelease(releases);
    if (!newest) {
        html += "<section>\n<p>暂无可下载的版本，请稍后再来。</p>\n</section>\n";
        return html + kTail;
    }
    html += "<section>\n<h2>最新版本 " + HtmlEscape(newest->version) + "</h2>\n";
    html += "<p class=\"date\">发布于 " + FormatUtcDay(newest->publishedMs) + "</p>\n";
    html += "<p><a class=\"download\" href=\"" + HtmlEscape(newest->path) + "\">下载 " +
            HtmlEscape(newest->version) + "</a></p>\n";
    const std::string notes = NotesHtml(newest->notes);
    if (!notes.empty())
        html += "<h3>更新内容</h3>\n" + notes;
    html += "</section>\n";

    std::vector<const sitestore::Release*> older;
    for (const auto& r : releases)
        if (&r != newest)
            older.push_back(&r);
    std::sort(older.begin(), older.end(),
              [](auto* a, auto* b) { return CompareVersions(a->version, b->version) > 0; });
    if (!older.empty()) {
        html += "<section>\n<h2>历史版本</h2>\n<ul>\n";
        for (const auto* r : older)
            html += "<li><a href=\"" + HtmlEscape(r->path) + "\">" + HtmlEscape(r->version) +
                    "</a> <span class=\"date\">" + FormatUtcDay(r->publishedMs) + "</span></li>\n";
        html += "</ul>\n</section>\n";
    }
    return html + kTail;
}

} // namespace siteweb
