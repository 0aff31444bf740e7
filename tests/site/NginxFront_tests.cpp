// The site behind real nginx, configured from the nginx site the package ships:
// TLS ends at nginx, the program's addresses are answered on plain HTTP too,
// and the site stores the client's own address, never one the client claims.
#include "LoopbackListen.h"
#include "RunningSite.h"
#include "feedback/FormEncode.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct Answer {
    long status = 0;
    std::string body;
};

size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// One request with libcurl from a loopback address of its own; https goes to
// www.quillmate.net, resolved to 127.0.0.1 and checked against our certificate.
Answer Fetch(const std::string& url, const std::string& from, const std::string& certificate,
             const std::string& body = {}, const char* extraHeader = nullptr) {
    Answer answer;
    CURL* curl = curl_easy_init();
    curl_slist* headers = extraHeader ? curl_slist_append(nullptr, extraHeader) : nullptr;
    const std::string port = url.substr(url.rfind(':') + 1, url.find('/', 8) - url.rfind(':') - 1);
    curl_slist* resolve =
        curl_slist_append(nullptr, ("www.quillmate.net:" + port + ":127.0.0.1").c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_RESOLVE, resolve);
    curl_easy_setopt(curl, CURLOPT_CAINFO, certificate.c_str());
    curl_easy_setopt(curl, CURLOPT_INTERFACE, from.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    if (!body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body.size()));
    }
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_slist_free_all(headers);
    curl_slist_free_all(resolve);
    curl_easy_cleanup(curl);
    return answer;
}

// The shipped site file with this test's ports and certificate in place of
// the deployment's.
std::string SiteFile(int sitePort, int httpPort, int httpsPort, const QString& dir) {
    QFile file(QStringLiteral(QUILL_SOURCE_DIR "/packaging/site/nginx-quillmate-site.conf"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("server 127.0.0.1:8080;"),
                 QStringLiteral("server 127.0.0.1:%1;").arg(sitePort));
    text.replace(QStringLiteral("listen [::]:80;"), QString());
    text.replace(QStringLiteral("listen [::]:443 ssl http2;"), QString());
    text.replace(QStringLiteral("listen 80;"),
                 QStringLiteral("listen 127.0.0.1:%1;").arg(httpPort));
    text.replace(QStringLiteral("listen 443 ssl http2;"),
                 QStringLiteral("listen 127.0.0.1:%1 ssl http2;").arg(httpsPort));
    text.replace(QStringLiteral("/etc/ssl/certs/www.quillmate.net.pem"), dir + "/cert.pem");
    text.replace(QStringLiteral("/etc/ssl/private/www.quillmate.net.key"), dir + "/key.pem");
    return text.toStdString();
}

class Nginx {
public:
    Nginx(const QString& dir, const std::string& site) {
        const std::string d = dir.toStdString();
        QFile siteFile(dir + "/site.conf");
        siteFile.open(QIODevice::WriteOnly);
        siteFile.write(QByteArray::fromStdString(site));
        siteFile.close();
        QFile conf(dir + "/nginx.conf");
        conf.open(QIODevice::WriteOnly);
        conf.write(QByteArray::fromStdString(
            "daemon off;\nuser root;\nworker_processes 1;\npid " + d + "/nginx.pid;\nerror_log " +
            d + "/error.log;\nevents {}\nhttp {\naccess_log off;\nclient_body_temp_path " + d +
            "/body;\nproxy_temp_path " + d + "/proxy;\nfastcgi_temp_path " + d +
            "/fastcgi;\nuwsgi_temp_path " + d + "/uwsgi;\nscgi_temp_path " + d +
            "/scgi;\ninclude " + d + "/site.conf;\n}\n"));
        conf.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral("nginx"), {QStringLiteral("-c"), dir + "/nginx.conf"});
        process_.waitForStarted();
    }
    ~Nginx() {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished();
    }
    QString Log(const QString& dir) {
        QFile log(dir + "/error.log");
        log.open(QIODevice::ReadOnly);
        return QString::fromUtf8(process_.readAll() + log.readAll());
    }

private:
    QProcess process_;
};

int FreePort() {
    uint16_t port = 0;
    ::close(ListenOnLoopback(port, 1));
    return port;
}

bool WaitForPort(int port) {
    for (int i = 0; i < 100; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(uint16_t(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (up)
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

} // namespace

TEST(NginxFront, TlsAndTheClientsOwnAddressReachTheSite) {
    if (QStandardPaths::findExecutable(QStringLiteral("nginx"), {"/usr/sbin", "/usr/bin"})
            .isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        GTEST_SKIP() << "nginx or openssl is not installed (scripts/deps.sh installs both)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path();
    for (const char* sub : {"body", "proxy", "fastcgi", "uwsgi", "scgi"})
        QDir(d).mkdir(QString::fromLatin1(sub));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=www.quillmate.net", "-addext", "subjectAltName=DNS:www.quillmate.net",
                   "-keyout", d + "/key.pem", "-out", d + "/cert.pem"});
    ASSERT_TRUE(openssl.waitForFinished(60000));
    ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();

    const std::string database = "sqlite:" + (d + "/site.sqlite3").toStdString();
    site::SiteConfig config = TestSiteConfig(database);
    config.trustedProxies = {"127.0.0.1"};
    RunningSite site(config);
    ASSERT_TRUE(site.Listening());
    ASSERT_EQ(RunSiteCommand({"release", "add", "8.1", "--path", "https://www.quillmate.net/d.htm"},
                             database)
                  .status,
              0);

    const int httpPort = FreePort();
    const int httpsPort = FreePort();
    const std::string siteFile = SiteFile(site.Port(), httpPort, httpsPort, d);
    ASSERT_FALSE(siteFile.empty());
    Nginx nginx(d, siteFile);
    ASSERT_TRUE(WaitForPort(httpsPort)) << nginx.Log(d).toStdString();
    const std::string cert = (d + "/cert.pem").toStdString();
    const std::string https = "https://www.quillmate.net:" + std::to_string(httpsPort);
    const std::string http = "http://www.quillmate.net:" + std::to_string(httpPort);

    FeedbackInput input;
    input.message = QStringLiteral("经过 nginx 的留言");
    input.now = QDateTime(QDate(2026, 12, 10), QTime(9, 30));
    input.productTag = kFeedbackProductTag;
    input.installationId = "0123456789abcdef0123456789abcdef";
    const std::string body = FeedbackBody(input).toStdString();

    // Over TLS, with a forged forwarded address that nginx must replace.
    const Answer secure =
        Fetch(https + "/feedback/addinfo.asp", "127.0.0.5", cert, body, "X-Forwarded-For: 6.6.6.6");
    EXPECT_EQ(secure.status, 200);
    EXPECT_TRUE(HasSuccessMarker(QByteArray::fromStdString(secure.body)));
    // Plain HTTP still takes the program's three addresses ...
    const Answer plain = Fetch(http + "/feedback/addinfo.asp", "127.0.0.6", cert, body);
    EXPECT_EQ(plain.status, 200);
    EXPECT_TRUE(HasSuccessMarker(QByteArray::fromStdString(plain.body)));
    const Answer version = Fetch(http + "/update/quillversion.txt", "127.0.0.6", cert);
    EXPECT_EQ(version.status, 200);
    EXPECT_NE(version.body.find("version=8.1"), std::string::npos) << version.body;
    // ... and sends everything else to HTTPS.
    EXPECT_EQ(Fetch(http + "/admin/", "127.0.0.6", cert).status, 301);

    const CommandOutput list = RunSiteCommand({"feedback", "list", "--json"}, database);
    ASSERT_EQ(list.status, 0) << list.err;
    const auto rows = nlohmann::json::parse(list.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["text"], "经过 nginx 的留言");
    std::set<std::string> addresses;
    for (const auto& row : rows)
        addresses.insert(row["address"].get<std::string>());
    EXPECT_EQ(addresses, (std::set<std::string>{"127.0.0.5", "127.0.0.6"}));
}
