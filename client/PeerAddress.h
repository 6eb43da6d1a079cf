// Whether an address that the lookup, the relay server or the console handed over can be connected
// to. The login and the session check the same stored address the same way, so an address the
// session would refuse fails the login instead of opening the main window. Any thread.
#pragma once

#include <string>

namespace client {

// A dotted IPv4 address other than the unspecified one (a connect to 0.0.0.0 reaches the local
// host on Linux) and a port in 1..65535. A refused address is logged with `what` ("teacher",
// "relay", "relay server") naming whose it is.
bool isConnectableAddress(const std::string& host, int port, const char* what = "teacher");

} // namespace client
