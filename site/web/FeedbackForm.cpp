#include "siteweb/FeedbackForm.h"

#include "siteweb/FormFields.h"
#include "siteweb/GbkText.h"

#include <array>

namespace siteweb {

namespace {

struct FieldRule {
    const char* name;
    std::size_t maxBytes; // GBK bytes after percent-decoding
};

// Limits well above what the program sends, so no real message is refused.
const std::array<FieldRule, 8> kFields = {{
    {"user", 64},
    {"name", 128},
    {"email", 1024},
    {"title", 128},
    {"text", 24 * 1024},
    {"image", 16},
    {"home", 128},
    {"time", 64},
}};

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(from, start)) != std::string::npos;
         start = at + from.size()) {
        out.append(text, start, at - start);
        out.append(to);
    }
    out.append(text, start);
    text = std::move(out);
}

} // namespace

FormProblem ParseFeedbackForm(std::string_view body, FeedbackForm& out, std::string& field) {
    out = {};
    field.clear();
    FormPairs pairs;
    if (!DecodeForm(body, pairs))
        return FormProblem::Malformed;
    std::array<std::string, kFields.size()> values;
    std::array<bool, kFields.size()> seen{};
    for (auto& [key, value] : pairs) {
        for (std::size_t i = 0; i < kFields.size(); ++i) {
            if (key != kFields[i].name)
                continue;
            field = key;
            // Two values for one field leave us guessing which one was meant.
            if (seen[i])
                return FormProblem::RepeatedField;
            if (value.size() > kFields[i].maxBytes)
                return FormProblem::FieldTooLong;
            if (!GbkToUtf8(value, values[i]))
                return FormProblem::NotGbk;
            seen[i] = true;
        }
    }
    field = "text";
    if (values[4].empty())
        return FormProblem::NoMessage;
    field.clear();
    out.product = std::move(values[1]);
    out.contact = std::move(values[2]);
    out.text = std::move(values[4]);
    out.installation = std::move(values[6]);
    out.clientTime = std::move(values[7]);
    // The program turns each blank into "&nbsp;" and each CR of a CR LF into
    // "<br>"; a "<br>" the user typed without a line break stays as typed.
    ReplaceAll(out.text, "&nbsp;", " ");
    ReplaceAll(out.text, "<br>\n", "\n");
    ReplaceAll(out.clientTime, "&nbsp;", " ");
    return FormProblem::None;
}

std::string FormProblemText(FormProblem problem, const std::string& field) {
    switch (problem) {
    case FormProblem::None:
        return {};
    case FormProblem::Malformed:
        return "表单格式错误";
    case FormProblem::RepeatedField:
        return "字段重复：" + field;
    case FormProblem::NoMessage:
        return "留言内容为空";
    case FormProblem::FieldTooLong:
        return "字段过长：" + field;
    case FormProblem::NotGbk:
        return "字段不是 GBK 文本：" + field;
    }
    return {};
}

} // namespace siteweb
