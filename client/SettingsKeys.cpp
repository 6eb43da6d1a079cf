#include "client/SettingsKeys.h"

#include "platform/UserDefaults.h"

namespace client::settings {

void registerMemoryOnlyKeys() {
    platform::UserDefaults::markMemoryOnly(kArchivedFileData);
}

} // namespace client::settings
