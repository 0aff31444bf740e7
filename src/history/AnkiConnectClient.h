#pragma once

#include "history/HistoryEntry.h"

#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QIODevice;
class TauHTTP;

struct AnkiConnectResult {
    QString error;         // empty when the notes reached Anki
    int added = 0;         // notes Anki made
    QList<int> duplicates; // positions (in the list given) of notes Anki already had
};

// Sends history entries to a running Anki through its AnkiConnect add-on:
// makes the deck "Quillmate" when it is missing, checks that the note type
// "Basic" is there, asks which notes Anki would take (current AnkiConnect
// refuses a whole batch for one duplicate), then adds those. Nothing is sent
// anywhere but the URL given, and never through a proxy.
class AnkiConnectClient : public QObject {
public:
    explicit AnkiConnectClient(QObject* parent = nullptr);

    static QString DefaultUrl();

    // A missing Anki is reported at once (nobody listens on loopback) or
    // after these limits, never as a wait without end.
    int ConnectTimeoutMs = 2000;
    int AnswerTimeoutMs = 15000; // silence that ends a request

    // Starts sending; false (and nothing sent) while busy or with no entries.
    // An empty url means DefaultUrl().
    bool AddNotes(const QString& url, const QList<HistoryEntry>& entries);
    bool IsBusy() const { return busy_; }

    // Raised on this object's thread when AddNotes has finished.
    std::function<void(const AnkiConnectResult&)> OnFinished;

private:
    enum class Step { DeckNames, CreateDeck, ModelNames, CanAdd, Add };
    void Send(Step step, const QByteArray& body);
    void Answered(QIODevice* stream);
    void Finish(const QString& error);

    TauHTTP* http_;
    bool busy_ = false;
    Step step_ = Step::DeckNames;
    QJsonArray notes_;
    QList<int> sent_; // positions of the notes in the addNotes request
    AnkiConnectResult result_;
};
