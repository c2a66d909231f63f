#include "center/core/CenterState.h"

namespace center {

CCenterState::CCenterState() : m_keyManager(m_shared) {}

CCenterState::~CCenterState() = default;

CCenterState& TheCenter() {
    static CCenterState state;
    return state;
}

} // namespace center
