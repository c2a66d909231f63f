#pragma once

namespace uikit {

// A progress bar that engine code may advance without knowing the window it sits in. The view
// that owns the bar implements it; progress records carry it as an opaque pointer.
class ProgressIndicator {
public:
    virtual ~ProgressIndicator() = default;
    virtual void SetRange(int low, int high) = 0;
    virtual void SetPos(int pos) = 0;
    virtual void StepIt() = 0;
};

} // namespace uikit
