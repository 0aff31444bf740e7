#pragma once

// Debian's headless Chromium driven through chromedriver (the WebDriver
// protocol over loopback HTTP), started once per test program.

#include <nlohmann/json.hpp>
#include <string>

class WebDriver {
public:
    // The browser, started on first use; null with SkipReason() when Chromium
    // or its driver is not installed (a failure when they are and do not start).
    static WebDriver* Get();
    static const std::string& SkipReason();

    bool Go(const std::string& url);
    // Runs a script in the page; its return value.
    nlohmann::json Run(const std::string& script);
    bool Type(const std::string& css, const std::string& text);
    bool Click(const std::string& css);

private:
    WebDriver() = default;
    bool Start(std::string& error);
    void Stop();
    nlohmann::json Call(const char* method, const std::string& path, const nlohmann::json& body);
    std::string Element(const std::string& css);

    int driverPid_ = 0;
    int port_ = 0;
    std::string session_;
    std::string profile_;
    friend struct WebDriverStopper;
};
