#pragma once

#include "uikit/CallbackStruct.h"

namespace NetKit {
namespace Mail {

// SendMail reports into the task run's progress record: csPhase and csCurrent are set and the
// callback is called after they changed, and now and then while the transfer waits, so the
// caller can keep its window alive.
using MAILPROGRESS_ = CALLBACKSTRUCT_;

} // namespace Mail
} // namespace NetKit
