#pragma once

#include "platform/SharedMemory.h"

#include <string>

namespace platform {

// A manual-reset event shared by this user's processes: once set it stays set, and every waiter
// wakes, until someone resets it. Built on a futex in a small shared-memory object.
class NamedEvent {
public:
    bool open(const std::string& name, SharedMemory::Mode mode, std::string& error);
    void close() { m_memory.close(); }
    bool isOpen() const { return m_memory.isOpen(); }

    void set();
    void reset();
    bool isSet() const;
    // Waits until the event is set or `timeoutMs` passes (negative: no limit). True when set.
    bool wait(int timeoutMs) const;

    static bool Remove(const std::string& name, std::string& error);

private:
    SharedMemory m_memory;
};

} // namespace platform
