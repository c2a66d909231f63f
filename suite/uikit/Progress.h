#pragma once

#include <algorithm>

namespace uikit {

// A progress bar that long work advances: a window's bar in the Qt views, a plain counter where
// there is no window (keeper, command-line tools, tests).
class IProgressIndicator {
public:
    virtual ~IProgressIndicator() = default;
    virtual void setRange(int minimum, int maximum) = 0;
    virtual void setPosition(int position) = 0;
    virtual int position() const = 0;
    void step(int delta = 1) { setPosition(position() + delta); }
};

// The indicator without a window: it only remembers where it stands.
class CounterProgress : public IProgressIndicator {
public:
    void setRange(int minimum, int maximum) override {
        m_minimum = minimum;
        m_maximum = maximum;
        m_position = std::clamp(m_position, m_minimum, std::max(m_minimum, m_maximum));
    }
    void setPosition(int position) override {
        m_position = std::clamp(position, m_minimum, std::max(m_minimum, m_maximum));
    }
    int position() const override { return m_position; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }

private:
    int m_minimum = 0;
    int m_maximum = 100;
    int m_position = 0;
};

} // namespace uikit
