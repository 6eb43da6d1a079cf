// Ends a test's client as its fixtures need: the client tears down, then the threads of its links
// are joined, since they post on notification centres and call observers that the fixture owns and
// is about to destroy. Test thread.
#pragma once

#include "client/StudentClient.h"

#include <memory>

namespace testsupport {

// Nothing without a client; leaves client empty.
void endClient(std::shared_ptr<client::StudentClient>& client);

} // namespace testsupport
