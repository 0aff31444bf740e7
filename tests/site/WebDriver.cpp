#include "WebDriver.h"

#include <chrono>
#include <csignal>
#include <curl/curl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<WebDriver> g_driver;
std::string g_skip;
bool g_tried = false;

size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

const char* kElementKey = "element-6066-11e4-a52e-4f735466cecf";

} // namespace

struct WebDriverStopper {
    ~WebDriverStopper() {
        if (g_driver)
            g_driver->Stop();
    }
};
static WebDriverStopper g_stopper;

WebDriver* WebDriver::Get() {
    if (!g_tried) {
        g_tried = true;
        if (!fs::exists("/usr/bin/chromium") || !fs::exists("/usr/bin/chromedriver")) {
            g_skip = "Chromium or chromedriver is not installed (scripts/deps.sh installs them)";
        } else {
            std::unique_ptr<WebDriver> driver(new WebDriver);
            std::string error;
            if (driver->Start(error)) {
                g_driver = std::move(driver);
            } else {
                driver->Stop();
                g_skip = "the browser did not start: " + error;
                ADD_FAILURE() << g_skip;
            }
        }
    }
    return g_driver.get();
}

const std::string& WebDriver::SkipReason() {
    return g_skip;
}

nlohmann::json WebDriver::Call(const char* method, const std::string& path,
                               const nlohmann::json& body) {
    CURL* curl = curl_easy_init();
    std::string answer;
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + path;
    const std::string payload = body.is_null() ? std::string() : body.dump();
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    if (std::string(method) == "POST")
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, payload.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK)
        return nlohmann::json{{"error", curl_easy_strerror(rc)}};
    return nlohmann::json::parse(answer, nullptr, false);
}

bool WebDriver::Start(std::string& error) {
    port_ = FreePort();
    char pattern[] = "/tmp/quill-chromium-XXXXXX";
    if (!mkdtemp(pattern)) {
        error = "mkdtemp failed";
        return false;
    }
    profile_ = pattern;
    const std::string portArg = "--port=" + std::to_string(port_);
    const std::string logArg = "--log-path=" + profile_ + "/driver.log";
    char* argv[] = {const_cast<char*>("/usr/bin/chromedriver"), const_cast<char*>(portArg.c_str()),
                    const_cast<char*>(logArg.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
        error = "cannot start chromedriver";
        return false;
    }
    driverPid_ = pid;
    bool ready = false;
    for (int i = 0; i < 100 && !ready; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto status = Call("GET", "/status", nullptr);
        ready = status.contains("value") && status["value"].value("ready", false);
    }
    if (!ready) {
        error = "chromedriver did not answer";
        return false;
    }
    const nlohmann::json capabilities = {
        {"capabilities",
         {{"alwaysMatch",
           {{"browserName", "chrome"},
            {"goog:chromeOptions",
             {{"binary", "/usr/bin/chromium"},
              {"args",
               {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-dev-shm-usage", "--user-data-dir=" + profile_ + "/profile"}}}}}}}}};
    const auto answer = Call("POST", "/session", capabilities);
    if (!answer.contains("value") || !answer["value"].contains("sessionId")) {
        error = "no browser session: " + answer.dump();
        return false;
    }
    session_ = answer["value"]["sessionId"];
    return true;
}

void WebDriver::Stop() {
    if (!session_.empty())
        Call("DELETE", "/session/" + session_, nullptr);
    if (driverPid_ > 0) {
        kill(driverPid_, SIGTERM);
        waitpid(driverPid_, nullptr, 0);
    }
    std::error_code ec;
    if (!profile_.empty())
        fs::remove_all(profile_, ec);
}

bool WebDriver::Go(const std::string& url) {
    const auto answer = Call("POST", "/session/" + session_ + "/url", {{"url", url}});
    return answer.contains("value") && answer["value"].is_null();
}

nlohmann::json WebDriver::Run(const std::string& script) {
    const auto answer = Call("POST", "/session/" + session_ + "/execute/sync",
                             {{"script", script}, {"args", nlohmann::json::array()}});
    return answer.contains("value") ? answer["value"] : nlohmann::json();
}

std::string WebDriver::Element(const std::string& css) {
    const auto answer = Call("POST", "/session/" + session_ + "/element",
                             {{"using", "css selector"}, {"value", css}});
    if (!answer.contains("value") || !answer["value"].contains(kElementKey))
        return {};
    return answer["value"][kElementKey];
}

bool WebDriver::Type(const std::string& css, const std::string& text) {
    const std::string id = Element(css);
    if (id.empty())
        return false;
    Call("POST", "/session/" + session_ + "/element/" + id + "/clear", nlohmann::json::object());
    const auto answer =
        Call("POST", "/session/" + session_ + "/element/" + id + "/value", {{"text", text}});
    return answer.contains("value") && answer["value"].is_null();
}

bool WebDriver::Click(const std::string& css) {
    const std::string id = Element(css);
    if (id.empty())
        return false;
    const auto answer = Call("POST", "/session/" + session_ + "/element/" + id + "/click",
                             nlohmann::json::object());
    return answer.contains("value") && answer["value"].is_null();
}
