#include "siteweb/AdminPages.h"

#include "siteweb/FormFields.h"
#include "siteweb/Html.h"
#include "siteweb/UtcTime.h"

namespace siteweb {

namespace {

std::string Head(const char* title) {
    return std::string(R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)") +
           title + R"(</title>
<style>
body { font-family: "Noto Sans CJK SC", sans-serif; margin: 1rem; color: #1f2933; }
table { border-collapse: collapse; width: 100%; }
th, td { border-bottom: 1px solid #d9e2ec; padding: 0.4rem; text-align: left; vertical-align: top; }
td.text { white-space: pre-wrap; word-break: break-word; max-width: 32rem; }
tr.answered { color: #7b8794; }
nav a { margin-right: 1rem; }
</style>
</head>
<body>
)";
}

const char* const kTail = "</body>\n</html>\n";

} // namespace

std::string AdminListAddress(const std::string& search, int page) {
    std::string address = "/admin/";
    std::string query;
    if (!search.empty())
        query += "q=" + UrlEncode(search);
    if (page > 1)
        query += (query.empty() ? "" : "&") + std::string("page=") + std::to_string(page);
    return query.empty() ? address : address + "?" + query;
}

std::string AdminLoginHtml(bool failed) {
    std::string html = Head("留言管理 - 登录");
    html += "<h1>留言管理</h1>\n";
    if (failed)
        html += "<p id=\"error\">口令不对，请重试。</p>\n";
    html += R"(<form method="post" action="/admin/login">
<label>口令 <input type="password" name="token" id="token" autocomplete="current-password" required></label>
<button type="submit" id="login">登录</button>
</form>
)";
    return html + kTail;
}

std::string AdminListHtml(const AdminListView& view) {
    std::string html = Head("留言管理");
    const std::string csrf = HtmlEscape(view.csrf);
    html += "<h1>留言管理</h1>\n<form method=\"get\" action=\"/admin/\">\n"
            "<input type=\"search\" name=\"q\" id=\"q\" value=\"" +
            HtmlEscape(view.search) +
            "\" placeholder=\"搜索内容、联系方式、地址\">\n"
            "<button type=\"submit\" id=\"search\">搜索</button>\n</form>\n"
            "<form method=\"post\" action=\"/admin/logout\"><input type=\"hidden\" name=\"csrf\" "
            "value=\"" +
            csrf + "\"><button type=\"submit\" id=\"logout\">退出</button></form>\n";
    if (view.rows.empty()) {
        html += "<p id=\"empty\">没有留言。</p>\n";
    } else {
        html += "<table>\n<thead><tr><th>编号</th><th>收到时间</th><th>地址</th><th>联系方式</th>"
                "<th>内容</th><th>安装标识</th><th>客户端时间</th><th>产品</th><th>状态</th></tr>"
                "</thead>\n<tbody>\n";
        const std::string back = HtmlEscape(AdminListAddress(view.search, view.page));
        for (const auto& r : view.rows) {
            const std::string id = std::to_string(r.id);
            html += "<tr id=\"m" + id + "\"" + (r.answeredMs ? " class=\"answered\"" : "") +
                    "><td>" + id + "</td><td>" + FormatUtc(r.receivedMs) + "</td><td>" +
                    HtmlEscape(r.address) + "</td><td>" + HtmlEscape(r.contact) +
                    "</td><td class=\"text\">" + HtmlEscape(r.text) + "</td><td>" +
                    HtmlEscape(r.installation) + "</td><td>" + HtmlEscape(r.clientTime) +
                    "</td><td>" + HtmlEscape(r.product) + "</td><td>";
            html += "<form method=\"post\" action=\"/admin/answer\"><input type=\"hidden\" "
                    "name=\"id\" value=\"" +
                    id + "\"><input type=\"hidden\" name=\"csrf\" value=\"" + csrf +
                    "\"><input type=\"hidden\" name=\"back\" value=\"" + back + "\">";
            if (r.answeredMs)
                html += "已回复 " + FormatUtc(*r.answeredMs) +
                        " <input type=\"hidden\" name=\"answered\" value=\"0\"><button "
                        "type=\"submit\" class=\"unmark\">改为未回复</button>";
            else
                html += "<input type=\"hidden\" name=\"answered\" value=\"1\"><button "
                        "type=\"submit\" class=\"mark\">标记为已回复</button>";
            html += "</form></td></tr>\n";
        }
        html += "</tbody>\n</table>\n";
    }
    html += "<nav>";
    if (view.page > 1)
        html += "<a id=\"previous\" href=\"" +
                HtmlEscape(AdminListAddress(view.search, view.page - 1)) + "\">上一页</a>";
    html += "<span>第 " + std::to_string(view.page) + " 页</span>";
    if (view.hasNext)
        html += "<a id=\"next\" href=\"" +
                HtmlEscape(AdminListAddress(view.search, view.page + 1)) + "\">下一页</a>";
    html += "</nav>\n";
    return html + kTail;
}

} // namespace siteweb
