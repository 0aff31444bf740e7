// The AnkiConnect client against a loopback stand-in that answers as the
// add-on does (version 6): the requests' exact JSON, duplicates, refusals,
// and an Anki that is not there.
#include "HistoryTestUtil.h"
#include "LoopbackServer.h"
#include "ServiceStandIn.h"
#include "history/AnkiConnectClient.h"
#include "history/AnkiNotes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// AnkiConnect's answer with this result.
StandInAnswer Result(const QJsonValue& result) {
    const QJsonObject o{{u"result"_s, result}, {u"error"_s, QJsonValue::Null}};
    return StandInReply(QJsonDocument(o).toJson(), 200, {{"Content-Type", "application/json"}});
}

QJsonArray List(std::initializer_list<QJsonValue> values) {
    return QJsonArray(values);
}

const QJsonArray kModels = List({u"Basic"_s, u"Cloze"_s});

struct StandInAnki {
    ServiceStandIn standIn;
    explicit StandInAnki(const QList<StandInAnswer>& answers) { standIn.SetAnswers("/", answers); }
    QString Url() const { return standIn.Url(u"/"); }
    QList<QJsonObject> Requests() const {
        QList<QJsonObject> out;
        for (const StandInRequest& r : standIn.Requests())
            out << QJsonDocument::fromJson(r.body).object();
        return out;
    }
    QStringList Actions() const {
        QStringList actions;
        for (const QJsonObject& r : Requests())
            actions << r[u"action"_s].toString();
        return actions;
    }
};

std::optional<AnkiConnectResult> Send(const QString& url, const QList<HistoryEntry>& entries,
                                      int answerTimeoutMs = 15000) {
    AnkiConnectClient client;
    client.AnswerTimeoutMs = answerTimeoutMs;
    std::optional<AnkiConnectResult> result;
    client.OnFinished = [&](const AnkiConnectResult& r) { result = r; };
    if (!client.AddNotes(url, entries))
        return std::nullopt;
    EXPECT_TRUE(client.IsBusy());
    WaitUntil([&] { return result.has_value(); }, 20000);
    EXPECT_FALSE(client.IsBusy());
    return result;
}

QStringList Fronts(const QJsonObject& request) {
    QStringList fronts;
    for (const QJsonValue& n : request[u"params"_s][u"notes"_s].toArray())
        fronts << n[u"fields"_s][u"Front"_s].toString();
    return fronts;
}

const QList<HistoryEntry> kEntries = {
    Entry(u"猫 & 狗"_s, u"cats <and> dogs"_s),
    Entry(u"你好"_s, u"hello"_s),
    Entry(u"谢谢"_s, u"thanks"_s, u"zh-CN"_s, u"ja"_s),
};

} // namespace

TEST(AnkiConnect, AddsTheNotesAndReportsDuplicates) {
    QStringList fronts;
    for (const HistoryEntry& e : kEntries)
        fronts << AnkiFieldHtml(e.source);
    const QJsonValue null = QJsonValue::Null;
    const struct {
        const char* name;
        QList<StandInAnswer> answers;
        QStringList actions;
        QStringList added; // fronts in the addNotes request
        int addedCount;
        QList<int> duplicates;
    } cases[] = {
        {"deck missing, one duplicate",
         {Result(List({u"Default"_s})), Result(qint64(1651445861967)), Result(kModels),
          Result(List({true, false, true})), Result(List({qint64(11), qint64(12)}))},
         {u"deckNames"_s, u"createDeck"_s, u"modelNames"_s, u"canAddNotes"_s, u"addNotes"_s},
         {fronts[0], fronts[2]},
         2,
         {1}},
        {"deck there, nothing known",
         {Result(List({u"Default"_s, u"Quillmate"_s})), Result(kModels),
          Result(List({true, true, true})), Result(List({qint64(1), qint64(2), qint64(3)}))},
         {u"deckNames"_s, u"modelNames"_s, u"canAddNotes"_s, u"addNotes"_s},
         fronts,
         3,
         {}},
        {"a note added by someone else meanwhile",
         {Result(List({u"Quillmate"_s})), Result(kModels), Result(List({true, false, true})),
          Result(List({qint64(1), null}))},
         {u"deckNames"_s, u"modelNames"_s, u"canAddNotes"_s, u"addNotes"_s},
         {fronts[0], fronts[2]},
         1,
         {1, 2}},
        {"everything known already",
         {Result(List({u"Quillmate"_s})), Result(kModels), Result(List({false, false, false}))},
         {u"deckNames"_s, u"modelNames"_s, u"canAddNotes"_s},
         {},
         0,
         {0, 1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StandInAnki anki(c.answers);
        const auto result = Send(anki.Url(), kEntries);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->error, QString());
        EXPECT_EQ(result->added, c.addedCount);
        EXPECT_EQ(result->duplicates, c.duplicates);
        EXPECT_EQ(anki.Actions(), c.actions);
        const QList<QJsonObject> requests = anki.Requests();
        for (const QJsonObject& r : requests) {
            if (r[u"action"_s] == u"canAddNotes"_s) {
                EXPECT_EQ(Fronts(r), fronts);
            } else if (r[u"action"_s] == u"addNotes"_s) {
                EXPECT_EQ(Fronts(r), c.added);
            }
        }
        for (const StandInRequest& r : anki.standIn.Requests()) {
            EXPECT_EQ(r.method, "POST");
            EXPECT_EQ(r.header("Content-Type"), "application/json");
        }
    }
}

TEST(AnkiConnect, TheRequestsAreExactlyAnkiConnectsJson) {
    StandInAnki anki({Result(List({})), Result(qint64(1)), Result(kModels), Result(List({true})),
                      Result(List({qint64(1)}))});
    ASSERT_TRUE(Send(anki.Url(), {kEntries[0]}));
    const QByteArray expected[] = {
        R"({"action":"deckNames","version":6})",
        R"({"action":"createDeck","version":6,"params":{"deck":"Quillmate"}})",
        R"({"action":"modelNames","version":6})",
        R"({"action":"canAddNotes","version":6,"params":{"notes":[{"deckName":"Quillmate",
            "modelName":"Basic","fields":{"Front":"猫 &amp; 狗","Back":"cats &lt;and&gt; dogs"},
            "tags":["Quillmate","zh-CN→en"]}]}})",
        R"({"action":"addNotes","version":6,"params":{"notes":[{"deckName":"Quillmate",
            "modelName":"Basic","fields":{"Front":"猫 &amp; 狗","Back":"cats &lt;and&gt; dogs"},
            "tags":["Quillmate","zh-CN→en"]}]}})",
    };
    const QList<QJsonObject> requests = anki.Requests();
    ASSERT_EQ(requests.size(), qsizetype(std::size(expected)));
    for (int i = 0; i < requests.size(); ++i)
        EXPECT_EQ(requests[i], QJsonDocument::fromJson(expected[i]).object()) << i;
}

TEST(AnkiConnect, ARefusalOrAStrangerIsAClearError) {
    auto raw = [](const QByteArray& body) { return StandInReply(body); };
    const struct {
        const char* name;
        QList<StandInAnswer> answers; // the last repeats
        QString errorHas;
    } cases[] = {
        {"no note type Basic",
         {Result(List({u"Quillmate"_s})), Result(List({u"基础"_s, u"Cloze"_s}))},
         u"Basic"_s},
        {"an API key is set",
         {raw(R"({"result":null,"error":"valid api key must be provided"})")},
         u"valid api key must be provided"_s},
        {"not AnkiConnect", {raw("<html>hello</html>")}, u"AnkiConnect"_s},
        {"a list for an error", {raw(R"({"result":null,"error":["a","b"]})")}, u"[\"a\",\"b\"]"_s},
        {"an answer short of notes",
         {Result(List({u"Quillmate"_s})), Result(kModels), Result(List({true}))},
         u"AnkiConnect"_s},
        {"an HTTP error", {StandInReply("no", 403)}, u"403"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StandInAnki anki(c.answers);
        const auto result = Send(anki.Url(), kEntries);
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->error.contains(c.errorHas)) << qPrintable(result->error);
        EXPECT_EQ(result->added, 0);
        EXPECT_FALSE(anki.Actions().contains(u"addNotes"_s));
    }
}

TEST(AnkiConnect, AnAbsentOrSilentAnkiEndsInAnError) {
    // Nobody listens: refused at once.
    auto absent = Send(u"http://127.0.0.1:1"_s, kEntries);
    ASSERT_TRUE(absent);
    EXPECT_TRUE(absent->error.contains(u"Anki"_s)) << qPrintable(absent->error);

    LoopbackServer silent;
    silent.setDefault(LoopbackScript::NeverAnswer());
    auto quiet = Send(silent.url(), kEntries, 300);
    ASSERT_TRUE(quiet);
    EXPECT_FALSE(quiet->error.isEmpty());

    auto wrong = Send(u"file:///etc/passwd"_s, kEntries);
    ASSERT_TRUE(wrong);
    EXPECT_FALSE(wrong->error.isEmpty());

    AnkiConnectClient client;
    EXPECT_FALSE(client.AddNotes({}, {}));
}
