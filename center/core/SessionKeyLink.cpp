#include "center/core/SessionKeyLink.h"

#include "misckit/SessionKey.h"
#include "platform/SharedMemory.h"
#include "tasks/manager/TaskManager.h"
#include "tasks/schedlink/TaskSched.h"

#include <cstring>

namespace center {

bool CSessionKeyLink::IsSet() {
    platform::SharedMemory store;
    std::string error;
    if (!store.open(tasksched::kSessionKeyStoreName, tasksched::kSessionKeyStoreSize,
                    platform::SharedMemory::Mode::OpenExisting, error) ||
        store.size() < sizeof(SESSIONKEY_))
        return false;
    // Only the fields that say whether a key is there are read, never the key itself.
    const auto* bytes = static_cast<const unsigned char*>(store.data());
    std::int32_t length = 0;
    std::memcpy(&length, bytes + offsetof(SESSIONKEY_, nPasswordLength), sizeof length);
    const unsigned char kind = bytes[offsetof(SESSIONKEY_, nKind)];
    if (kind == kSessionKeyPassword)
        return length > 0;
    return kind == kSessionKeyFile && bytes[offsetof(SESSIONKEY_, szKeyFile)] != 0;
}

bool CSessionKeyLink::Set(const SESSIONKEY_& key, std::string& error) {
    if (tasksched::SetSessionKey(&key))
        return true;
    error = tasksched::gl_sLastError;
    return false;
}

void CSessionKeyLink::Clear() {
    tasksched::ClearSessionKey();
}

} // namespace center
