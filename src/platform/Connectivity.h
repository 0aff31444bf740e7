#pragma once

#include <functional>
#include <optional>

struct ifaddrs;

// True when some network interface other than loopback is up, running (has a
// carrier) and has an IPv4 or IPv6 address. The program's stand-in for "is the
// computer online".
bool InternetGetConnectedState();

// The rule on an interface list as getifaddrs returns it.
bool AnyInterfaceConnected(const ifaddrs* list);

// Test seam: while set, InternetGetConnectedState returns this value.
void SetConnectedStateOverride(std::optional<bool> connected);
