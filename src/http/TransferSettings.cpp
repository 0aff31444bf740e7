#include "http/TransferSettings.h"

TransferSettings SettingsOf(const TauCustomHTTP& c) {
    TransferSettings s;
    s.url = c.URL;
    s.unixSocketPath = c.UnixSocketPath;
    s.agent = c.Agent;
    s.acceptTypes = c.AcceptTypes;
    s.addHeaders = c.AddHeaders;
    s.outputFileName = c.OutputFileName;
    s.proxy = c.Proxy;
    s.timeouts = c.Timeouts;
    s.transferBufferSize = c.TransferBufferSize;
    s.waitTimeout = c.WaitTimeout;
    s.waitThread = c.WaitThread;
    s.useCache = c.UseCache;
    s.useCookies = c.UseCookies;
    return s;
}
