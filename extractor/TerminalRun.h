#pragma once

#include "extractor/core/SfxExtract.h"

namespace extractor {

// The run without a window: "Password:" (hidden) and "Extract into folder:" on a terminal, or the
// first two lines of standard input when it is not one. Returns the exit status: 0 on success,
// 1 after a failure (its message on standard error).
int RunInTerminal(const sfx::OwnFile& own);

} // namespace extractor
