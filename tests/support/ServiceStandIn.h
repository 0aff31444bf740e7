#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringView>
#include <functional>
#include <memory>

// A loopback stand-in for every outside service of the program, on the
// LoopbackServer responder: it answers each path with scripted answers and
// records every request it gets. Connections are served on their own threads,
// so a window test keeps its event loop running while an answer is delayed.

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

struct StandInAnswer {
    int status = 200;
    QByteArray reason;  // empty: the usual phrase of the status
    HeaderList headers; // sent in this order after the status line
    QByteArray body;
    // Adds "Content-Length" (the body's size) unless `headers` carry one.
    bool contentLength = true;
    // Sends the body in chunks of this size with "Transfer-Encoding: chunked"
    // instead of a length; 0 sends it plainly.
    int chunkSize = 0;
    int headerDelayMs = 0; // before the status line
    int bodyDelayMs = 0;   // between the headers and the body
    // Sends only this many bytes of the body, then closes the connection.
    qsizetype closeAfter = -1;
    // Closes the connection without answering.
    bool hangUp = false;
    // Keeps the connection open and silent until the stand-in stops.
    bool neverAnswer = false;
    // When not empty, these bytes are the whole answer and everything above
    // but the delays is ignored.
    QByteArray raw;
};

struct StandInRequest {
    QByteArray method;
    QByteArray target; // as sent: path and query
    QByteArray version;
    HeaderList headers; // in the order received, names as sent
    QByteArray body;    // de-chunked when it came chunked

    QByteArray path() const;
    // The first header of that name (without regard to case), or empty.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
};

// The paths of the program's services, as the stand-in serves them.
inline constexpr char kTranslatePath[] = "/translate_a/single";
inline constexpr char kOcr1Path[] = "/ocrapi1";
inline constexpr char kOcr2Path[] = "/getocr";
inline constexpr char kTtsPath[] = "/gettts";
inline constexpr char kUpdatePath[] = "/update/quillversion.txt";
inline constexpr char kFeedbackPath[] = "/feedback/addinfo.asp";
inline constexpr char kHomePath[] = "/translation.htm";
inline constexpr char kBingAuthPath[] = "/translate/auth";
inline constexpr char kBingPath[] = "/translate";

class ServiceStandIn {
public:
    // Listens on a free port.
    ServiceStandIn();
    // Stops listening, cuts every delay short and waits for all connections.
    // Restores the endpoint variables that PointEndpointsHere changed.
    ~ServiceStandIn();
    ServiceStandIn(const ServiceStandIn&) = delete;
    ServiceStandIn& operator=(const ServiceStandIn&) = delete;

    bool IsListening() const;
    quint16 Port() const;
    // "http://127.0.0.1:<port>" followed by path.
    QString Url(QStringView path) const;

    // Answers for a path (without the query). Several answers are used in
    // turn and the last one repeats; a path without answers gets 404.
    void SetAnswer(const QByteArray& path, const StandInAnswer& answer);
    void SetAnswers(const QByteArray& path, const QList<StandInAnswer>& answers);
    // Queues one more answer for path.
    void AddAnswer(const QByteArray& path, const StandInAnswer& answer);

    QList<StandInRequest> Requests() const;
    qsizetype RequestCount() const;
    void ClearRequests();
    // Blocks (without running any event loop) until `count` requests have come
    // in whole since the last ClearRequests; false on timeout.
    bool WaitForRequests(qsizetype count, int timeoutMs) const;
    // Appends every request from now on to file, one JSON object a line.
    bool RecordTo(const QString& file);

    // Sets the environment variable of every endpoint of the program to this
    // stand-in's URL of the endpoint's path.
    void PointEndpointsHere();

private:
    struct State;
    std::shared_ptr<State> d_;
};

// Reads a file written by RecordTo (or by the quill_standin program).
QList<StandInRequest> ReadRecordedRequests(const QString& file);

// Parses one answer line of a script: the path, then key=value words (values
// percent-decoded): status=, reason=, header=Name:Value (repeatable), body=,
// body-file=, raw=, raw-file=, chunk=, header-delay=, body-delay=,
// close-after=, and the flags no-length, hang-up and never-answer. False with a message on
// a malformed line.
bool ParseAnswerLine(QByteArrayView line, QByteArray& path, StandInAnswer& answer, QString& error);
// Adds the answers of every non-empty line of a script file that does not
// begin with "#"; lines of the same path queue up in order.
bool LoadAnswerScript(const QString& file, ServiceStandIn& standIn, QString& error);

// Runs the calling thread's event loop until done() holds or the time is up.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// A plain answer: status, headers, body.
inline StandInAnswer StandInReply(const QByteArray& body, int status = 200,
                                  const HeaderList& headers = {}) {
    StandInAnswer a;
    a.status = status;
    a.headers = headers;
    a.body = body;
    return a;
}
