#include "platform/Connectivity.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

namespace {
std::optional<bool> g_override;
}

bool AnyInterfaceConnected(const ifaddrs* list) {
    for (const ifaddrs* it = list; it; it = it->ifa_next) {
        // Up alone is not enough: bridges such as docker0 or virbr0 are up
        // with an address but have no carrier, so they are not running.
        const unsigned wanted = IFF_UP | IFF_RUNNING;
        if (!it->ifa_addr || (it->ifa_flags & wanted) != wanted || (it->ifa_flags & IFF_LOOPBACK))
            continue;
        // getifaddrs also lists link-layer entries (AF_PACKET); only an IP address counts.
        const int family = it->ifa_addr->sa_family;
        if (family == AF_INET || family == AF_INET6)
            return true;
    }
    return false;
}

bool InternetGetConnectedState() {
    if (g_override)
        return *g_override;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    const bool connected = AnyInterfaceConnected(list);
    freeifaddrs(list);
    return connected;
}

void SetConnectedStateOverride(std::optional<bool> connected) {
    g_override = connected;
}
