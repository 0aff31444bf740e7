#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace siteweb {

// The feedback form as the program posts it (user, name, email, title, text,
// image, home, time; percent-encoded GBK), decoded back to what the user
// typed, in UTF-8.
struct FeedbackForm {
    std::string product;      // "name": the program's product tag
    std::string contact;      // "email" (the program drops its blanks before sending)
    std::string text;         // "text": "&nbsp;" back to blanks, "<br>" + LF to one LF
    std::string installation; // "home"
    std::string clientTime;   // "time", e.g. "2024-05-06 07:08"
};

// The largest form body we read; the longest message the program can send
// (1000 characters, each a blank sent as "&nbsp;" in three-byte escapes) is
// well below it.
inline constexpr std::size_t kMaxFeedbackBody = 128 * 1024;

enum class FormProblem { None, Malformed, RepeatedField, NoMessage, FieldTooLong, NotGbk };

// Decodes a form body. On a problem, field names the field it concerns.
FormProblem ParseFeedbackForm(std::string_view body, FeedbackForm& out, std::string& field);

// The reason shown on the reply page, in Chinese.
std::string FormProblemText(FormProblem problem, const std::string& field);

} // namespace siteweb
