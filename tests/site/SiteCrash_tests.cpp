// The site program killed in the middle of a load keeps every confirmed post.
#include "RawHttp.h"
#include "RunningSite.h"
#include "siteweb/FeedbackReply.h"

#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

namespace {

// Starts the program; its first line is its address.
int StartSite(QProcess& p, const std::string& database) {
    p.start(QUILLMATE_SITE_PATH,
            {"--listen", "127.0.0.1:0", "--database", QString::fromStdString(database),
             "--posts-per-minute", "0", "--posts-per-day", "0"});
    if (!p.waitForStarted() || !p.waitForReadyRead(10000))
        return 0;
    const QByteArray line = p.readLine().trimmed(); // http://127.0.0.1:PORT/
    return line.mid(line.lastIndexOf(':') + 1).chopped(1).toInt();
}

TEST(SiteCrash, EveryConfirmedPostSurvivesSigkill) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string database = "sqlite:" + dir.filePath("site.sqlite3").toStdString();
    QProcess site;
    const int port = StartSite(site, database);
    ASSERT_GT(port, 0) << site.readAllStandardError().toStdString();

    const std::string marker = "\r\n" + std::string(siteweb::kSuccessMarkerGbk) + "\r\n";
    std::mutex mutex;
    std::set<std::string> confirmed;
    std::atomic<bool> down{false};
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t)
        clients.emplace_back([&, t] {
            for (int n = 0; n < 2000 && !down; ++n) {
                const std::string text = "t" + std::to_string(t) + "n" + std::to_string(n);
                const RawAnswer a =
                    SendRaw(port,
                            Post("/feedback/addinfo.asp", "application/x-www-form-urlencoded",
                                 "text=" + text),
                            5000);
                if (a.status == 200 && a.body.find(marker) != std::string::npos) {
                    std::lock_guard lock(mutex);
                    confirmed.insert(text);
                } else if (a.status == 0) {
                    return; // the server is gone
                }
            }
        });
    // Kill it once a good number of posts went through, while more are on the way.
    for (int i = 0; i < 400; ++i) {
        {
            std::lock_guard lock(mutex);
            if (confirmed.size() >= 300)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_t(site.processId()), SIGKILL);
    down = true;
    for (auto& c : clients)
        c.join();
    site.waitForFinished();
    ASSERT_FALSE(confirmed.empty());

    QProcess again;
    ASSERT_GT(StartSite(again, database), 0);
    const CommandOutput list = RunSiteCommand({"feedback", "list", "--json"}, database);
    ASSERT_EQ(list.status, 0) << list.err;
    std::set<std::string> stored;
    for (const auto& row : nlohmann::json::parse(list.out))
        stored.insert(row["text"].get<std::string>());
    for (const auto& text : confirmed)
        EXPECT_TRUE(stored.count(text)) << text << " was confirmed but is gone";
    again.terminate();
    EXPECT_TRUE(again.waitForFinished());
    EXPECT_EQ(again.exitCode(), 0); // SIGTERM ends it cleanly
}

} // namespace
