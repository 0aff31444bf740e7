#include "siteweb/FeedbackReply.h"

#include "siteweb/GbkText.h"
#include "siteweb/Html.h"

namespace siteweb {

namespace {

std::string Page(std::string_view title, std::string_view line) {
    std::string utf8 = "<!DOCTYPE html>\r\n<html lang=\"zh-CN\">\r\n<head>\r\n<meta "
                       "charset=\"GBK\">\r\n<title>";
    utf8 += title;
    utf8 += "</title>\r\n</head>\r\n<body>\r\n<p>\r\n";
    utf8 += line;
    utf8 += "\r\n</p>\r\n</body>\r\n</html>\r\n";
    std::string gbk;
    // Our own texts are all GBK characters; a reason that is not comes out as "?".
    if (!Utf8ToGbk(utf8, gbk))
        Utf8ToGbk("<!DOCTYPE html>\r\n<html><body><p>\r\n?\r\n</p></body></html>\r\n", gbk);
    return gbk;
}

} // namespace

const std::string& FeedbackStoredPage() {
    static const std::string page = Page("留言", "留言成功");
    return page;
}

std::string FeedbackRefusedPage(std::string_view reasonUtf8) {
    return Page("留言", "留言失败：" + HtmlEscape(reasonUtf8));
}

} // namespace siteweb
