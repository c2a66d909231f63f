#pragma once

#include "uikit/Progress.h"

#include <QPointer>
#include <QProgressBar>

namespace uikit {

// A progress indicator that moves a window's progress bar; once the bar is gone it only counts.
class BarProgress : public IProgressIndicator {
public:
    explicit BarProgress(QProgressBar* bar) : m_bar(bar) {}
    void setRange(int minimum, int maximum) override {
        m_position = minimum;
        if (m_bar)
            m_bar->setRange(minimum, maximum);
    }
    void setPosition(int position) override {
        m_position = position;
        if (m_bar)
            m_bar->setValue(position);
    }
    int position() const override { return m_position; }

private:
    QPointer<QProgressBar> m_bar;
    int m_position = 0;
};

} // namespace uikit
