#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringView>

// Appends the form encoding of bytes to result: ASCII letters and digits stay,
// a blank becomes "+", every other byte "%XX" with upper-case hex digits.
void FormEncode(QByteArrayView bytes, QByteArray& result);
QByteArray FormEncode(QByteArrayView bytes);

// The text in the GBK code page (CP936), as the feedback server reads it. A
// character GBK lacks becomes "?" (one per character, a surrogate pair included).
QByteArray ToGbk(QStringView text);

// The product tag sent as "name": names the product, its version and platform.
extern const char* const kFeedbackProductTag;

// The parts of one feedback form as the user gave them.
struct FeedbackInput {
    QString contact; // the contact field
    QString message; // the text box, lines separated by CR LF
    QDateTime now;   // local date and time of sending
    QByteArray productTag;
    QByteArray installationId;
};

// The form body: user, name, email, title, text, image, home, time, in order.
QByteArray FeedbackBody(const FeedbackInput& input);

// True when a line of the reply, taken whole, is the success marker (GBK
// "留言成功"), compared without regard to ASCII letter case.
bool HasSuccessMarker(QByteArrayView reply);
