#include "tasks/dialogs/DlgScheduleTask.h"

#include "misckit/Help.h"
#include "misckit/Registry.h"
#include "platform/Clock.h"
#include "tasks/model/Action.h"
#include "tasks/schedlink/TaskSched.h"
#include "uikit/Ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace jobkit {

namespace {

constexpr const char* kStartupValue = "Quillmark Scheduler";
constexpr const char* kHelpTopic = "/QMhelp/Scheduler/TSSCHEDULINGTASKS.HTM";

QComboBox* Choice(const QString& name, const QStringList& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    box->setAccessibleName(name);
    return box;
}

QStringList Numbers(int from, int to) {
    QStringList list;
    for (int i = from; i <= to; ++i)
        list << QString::number(i);
    return list;
}

QDateTime AtSeconds(std::int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds);
}

std::vector<std::int32_t> Ticked(const QList<QCheckBox*>& boxes, int first) {
    std::vector<std::int32_t> values;
    for (int i = 0; i < boxes.size(); ++i)
        if (boxes[i]->isChecked())
            values.push_back(first + i);
    return values;
}

void Tick(const QList<QCheckBox*>& boxes, const std::vector<std::int32_t>& values, int first) {
    for (std::int32_t v : values)
        if (v - first >= 0 && v - first < boxes.size())
            boxes[v - first]->setChecked(true);
}

} // namespace

CDlgScheduleTask::CDlgScheduleTask(CAction* task, QWidget* parent) : QDialog(parent), m_task(task) {
    setWindowTitle(tr("Schedule Task"));
    setObjectName(QStringLiteral("ScheduleTask"));
    auto* layout = new QVBoxLayout(this);

    auto* rule = new QGridLayout;
    auto* runLabel = new QLabel(tr("&Run:"), this);
    m_runType = Choice(tr("Run"), {tr("Regularly"), tr("Once"), tr("At startup")}, this);
    runLabel->setBuddy(m_runType);
    rule->addWidget(runLabel, 0, 0);
    rule->addWidget(m_runType, 0, 1, Qt::AlignLeft);
    m_everyLabel = new QLabel(tr("&Every"), this);
    m_interval = new QSpinBox(this);
    m_interval->setAccessibleName(tr("Every"));
    m_everyLabel->setBuddy(m_interval);
    m_timeFrame =
        Choice(tr("Time frame"), {tr("Minute"), tr("Hour"), tr("Day"), tr("Week"), tr("Month")}, this);
    auto* every = new QHBoxLayout;
    every->addWidget(m_everyLabel);
    every->addWidget(m_interval);
    every->addWidget(m_timeFrame);
    m_choiceLead = new QLabel(this);
    every->addWidget(m_choiceLead);
    m_minute = Choice(tr("Minute of hour"), Numbers(0, 59), this);
    m_minuteLabel = new QLabel(tr("minute of hour"), this);
    m_hour = Choice(tr("Hour"), Numbers(0, 23), this);
    m_hourLabel = new QLabel(tr("o' clock"), this);
    m_day = Choice(tr("Day of month"), Numbers(1, 31) << tr("Last"), this);
    m_dayLabel = new QLabel(tr("day of month"), this);
    for (QWidget* w : {static_cast<QWidget*>(m_minute), static_cast<QWidget*>(m_minuteLabel),
                       static_cast<QWidget*>(m_hour), static_cast<QWidget*>(m_hourLabel),
                       static_cast<QWidget*>(m_day), static_cast<QWidget*>(m_dayLabel)})
        every->addWidget(w);
    every->addStretch();
    rule->addLayout(every, 1, 0, 1, 2);
    layout->addLayout(rule);

    m_dayGroup = new QGroupBox(tr("Days when task can run"), this);
    auto* days = new QHBoxLayout(m_dayGroup);
    for (const QString& name : {tr("Sunday"), tr("Monday"), tr("Tuesday"), tr("Wednesday"), tr("Thursday"),
                                tr("Friday"), tr("Saturday")}) {
        m_days << new QCheckBox(name, m_dayGroup);
        days->addWidget(m_days.back());
    }
    m_hourGroup = new QGroupBox(tr("Hours when task can run"), this);
    auto* hours = new QGridLayout(m_hourGroup);
    for (int h = 0; h < 24; ++h) {
        m_hours << new QCheckBox(QString::number(h), m_hourGroup);
        m_hours.back()->setAccessibleName(tr("Hour %1").arg(h));
        hours->addWidget(m_hours.back(), h / 12, h % 12);
    }
    m_monthGroup = new QGroupBox(tr("Months when task can run"), this);
    auto* months = new QGridLayout(m_monthGroup);
    const QStringList monthNames{tr("January"),   tr("February"), tr("March"),    tr("April"),
                                 tr("May"),       tr("June"),     tr("July"),     tr("August"),
                                 tr("September"), tr("October"),  tr("November"), tr("December")};
    for (int m = 0; m < 12; ++m) {
        m_months << new QCheckBox(monthNames[m], m_monthGroup);
        months->addWidget(m_months.back(), m / 6, m % 6);
    }
    layout->addWidget(m_dayGroup);
    layout->addWidget(m_hourGroup);
    layout->addWidget(m_monthGroup);

    auto* times = new QGridLayout;
    m_startLabel = new QLabel(this);
    m_startDate = new QDateEdit(this);
    m_startDate->setCalendarPopup(true);
    m_startDate->setAccessibleName(tr("Start date"));
    m_startTime = new QTimeEdit(this);
    m_startTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_startTime->setAccessibleName(tr("Start time"));
    m_hasEnd = new QCheckBox(this);
    m_endDate = new QDateEdit(this);
    m_endDate->setCalendarPopup(true);
    m_endDate->setAccessibleName(tr("End date"));
    m_endTime = new QTimeEdit(this);
    m_endTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_endTime->setAccessibleName(tr("End time"));
    m_noEnd = new QLabel(this);
    times->addWidget(m_startLabel, 0, 0);
    times->addWidget(m_startDate, 0, 1);
    times->addWidget(m_startTime, 0, 2);
    times->addWidget(m_hasEnd, 1, 0);
    times->addWidget(m_endDate, 1, 1);
    times->addWidget(m_endTime, 1, 2);
    times->addWidget(m_noEnd, 1, 1, 1, 2);
    times->setColumnStretch(3, 1);
    layout->addLayout(times);

    m_startup = new QCheckBox(tr("Start Scheduler at &startup"), this);
    layout->addWidget(m_startup);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgScheduleTask::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgScheduleTask::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [] { misckit::ShowHelpTopic(kHelpTopic); });

    Load();
    connect(m_runType, &QComboBox::currentIndexChanged, this, &CDlgScheduleTask::ApplyRunType);
    connect(m_timeFrame, &QComboBox::currentIndexChanged, this, [this] {
        m_interval->setValue(1);
        ApplyTimeFrame();
    });
    connect(m_hasEnd, &QCheckBox::toggled, this, &CDlgScheduleTask::ApplyEnd);
    ApplyRunType();
}

void CDlgScheduleTask::SetStart(const QDateTime& when) {
    m_startDate->setDate(when.date());
    m_startDayTime = when.time();
    m_startTime->setTime(when.time());
}

void CDlgScheduleTask::SetEnd(const QDateTime& when) {
    m_endDate->setDate(when.date());
    m_endDayTime = when.time();
    m_endTime->setTime(when.time());
}

QDateTime CDlgScheduleTask::StartDateValue() const {
    return QDateTime(m_startDate->date(), m_startDayTime);
}

QDateTime CDlgScheduleTask::EndDateValue() const {
    return QDateTime(m_endDate->date(), m_endDayTime);
}

void CDlgScheduleTask::Load() {
    const std::int64_t now = platform::Now();
    CAction& t = *m_task;
    if (t.m_nRunType == 0) {
        m_runType->setCurrentIndex(0);
        m_timeFrame->setCurrentIndex(Day);
        m_hour->setCurrentIndex(0);
        m_minute->setCurrentIndex(0);
        m_day->setCurrentIndex(0);
        for (const auto* list : {&m_days, &m_hours, &m_months})
            for (QCheckBox* box : *list)
                box->setChecked(true);
        m_interval->setRange(1, 365);
        m_interval->setValue(1);
        SetStart(AtSeconds(now));
        SetEnd(AtSeconds(now + 86400));
        m_hasEnd->setChecked(false);
        m_startup->setChecked(true);
        return;
    }
    m_runType->setCurrentIndex(std::clamp(t.m_nRunType - 1, -1, 2));
    m_timeFrame->setCurrentIndex(t.m_nTimeFrame >= 0 && t.m_nTimeFrame <= 4 ? t.m_nTimeFrame : -1);
    m_hour->setCurrentIndex(t.m_nHour >= 0 && t.m_nHour <= 23 ? t.m_nHour : 0);
    m_minute->setCurrentIndex(t.m_nMinute >= 0 && t.m_nMinute <= 59 ? t.m_nMinute : 0);
    m_day->setCurrentIndex(t.m_nDay < 1 ? 1 : std::min(t.m_nDay, 32) - 1);
    for (const auto* list : {&m_days, &m_hours, &m_months})
        for (QCheckBox* box : *list)
            box->setChecked(false);
    if (t.m_nTimeFrame != Month)
        Tick(m_days, t.m_vDays, 1);
    Tick(m_hours, t.m_vHours, 0);
    Tick(m_months, t.m_vMonths, 1);
    SetStart(AtSeconds(t.m_tStart));
    SetEnd(AtSeconds(t.m_bHasEnd ? t.m_tEnd : now + 86400));
    m_hasEnd->setChecked(t.m_bHasEnd != 0);
    m_startup->setChecked(
        CQMRegistry(RegRoot::LocalMachine, encreg::szStartupRun).ValueExists(kStartupValue) != 0);
    // The interval's range follows the time frame; the stored interval is kept, not reset as a
    // choice of time frame does.
    ApplyTimeFrame();
    m_interval->setValue(t.m_nInterval);
}

void CDlgScheduleTask::Problem(const char* text) {
    uikit::MessageBox(text, "Error", uikit::Buttons::OK, uikit::Icon::Error);
}

void CDlgScheduleTask::ApplyRunType() {
    const int run = m_runType->currentIndex() + 1;
    if (run < Regularly || run > AtStartup) {
        Problem(m_runType->currentIndex() < 0 ? "DlgScheduleTask: Wrong run type"
                                              : "DlgScheduleTask: Error OnCbnSelchangeComboruntype");
        return;
    }
    const bool regular = run == Regularly;
    for (QWidget* w : {static_cast<QWidget*>(m_everyLabel), static_cast<QWidget*>(m_interval),
                       static_cast<QWidget*>(m_timeFrame)})
        w->setVisible(regular);
    m_hasEnd->setVisible(run != AtStartup);
    if (regular) {
        ApplyTimeFrame();
        return;
    }
    for (QWidget* w : {static_cast<QWidget*>(m_choiceLead), static_cast<QWidget*>(m_minute),
                       static_cast<QWidget*>(m_minuteLabel), static_cast<QWidget*>(m_hour),
                       static_cast<QWidget*>(m_hourLabel), static_cast<QWidget*>(m_day),
                       static_cast<QWidget*>(m_dayLabel), static_cast<QWidget*>(m_dayGroup),
                       static_cast<QWidget*>(m_hourGroup), static_cast<QWidget*>(m_monthGroup)})
        w->setVisible(false);
    m_startLabel->setText(tr("Start time:"));
    m_startTime->setVisible(true);
    m_timesShown = true;
    m_hasEnd->setText(tr("End time:"));
    m_noEnd->setText(tr("No end time"));
    ApplyEnd();
}

void CDlgScheduleTask::ApplyTimeFrame() {
    if (m_timeFrame->currentIndex() < 0)
        m_timeFrame->setCurrentIndex(Day);
    const int frame = m_timeFrame->currentIndex();
    if (frame < Minute || frame > Month) {
        Problem("DlgScheduleTask: Error OnCbnSelchangeCombotimeframe");
        return;
    }
    static const int kMaxInterval[] = {59, 23, 365, 52, 12};
    m_interval->setRange(1, kMaxInterval[frame]);
    m_choiceLead->setVisible(frame != Minute);
    m_choiceLead->setText(frame == Hour || frame == Month ? tr("on") : tr("at"));
    m_minute->setVisible(frame == Hour);
    m_minuteLabel->setVisible(frame == Hour);
    m_hour->setVisible(frame == Day || frame == Week);
    m_hourLabel->setVisible(frame == Day || frame == Week);
    m_day->setVisible(frame == Month);
    m_dayLabel->setVisible(frame == Month);
    m_hourGroup->setVisible(frame == Minute || frame == Hour);
    m_dayGroup->setVisible(frame != Month);
    m_monthGroup->setVisible(frame == Month);
    m_timesShown = frame == Minute || frame == Hour;
    m_startLabel->setText(m_timesShown ? tr("Start time:") : tr("Start date:"));
    m_startTime->setVisible(m_timesShown);
    m_hasEnd->setText(m_timesShown ? tr("End time:") : tr("End date:"));
    m_noEnd->setText(m_timesShown ? tr("No end time") : tr("No end date"));
    ApplyEnd();
}

void CDlgScheduleTask::ApplyEnd() {
    const bool shown = m_hasEnd->isVisibleTo(this) && m_hasEnd->isChecked();
    m_endDate->setVisible(shown);
    m_endTime->setVisible(shown && m_timesShown);
    m_noEnd->setVisible(m_hasEnd->isVisibleTo(this) && !m_hasEnd->isChecked());
}

void CDlgScheduleTask::accept() {
    const int run = m_runType->currentIndex() + 1;
    int frame = m_timeFrame->currentIndex();
    if (run == Once)
        frame = OnceFrame;
    else if (run == AtStartup)
        frame = StartupFrame;
    const QDateTime start(m_startDate->date(), m_startTime->time());
    const QDateTime end(m_endDate->date(), m_endTime->time());
    if (m_hasEnd->isChecked()) {
        if (start > end) {
            uikit::MessageBox("End time is earlier than start time.", "Error", uikit::Buttons::OK,
                              uikit::Icon::Warning);
            return;
        }
        if (AtSeconds(platform::Now()) > end) {
            uikit::MessageBox("Wrong end time.", "Error", uikit::Buttons::OK, uikit::Icon::Warning);
            return;
        }
    }
    if (run < Regularly || run > AtStartup || (run == Regularly && (frame < Minute || frame > Month))) {
        Problem("DlgScheduleTask: Error OnOK");
        return;
    }
    CAction& t = *m_task;
    t.m_nRunType = run;
    t.m_nTimeFrame = frame;
    const bool hasEnd = m_hasEnd->isChecked();
    if (run == Regularly)
        t.m_nInterval = m_interval->value();
    if (run == AtStartup) {
        t.m_tStart = StartDateValue().toSecsSinceEpoch();
        t.m_bHasEnd = hasEnd;
        if (hasEnd)
            t.m_tEnd = EndDateValue().toSecsSinceEpoch();
    } else if (run == Once) {
        t.m_tStart = start.toSecsSinceEpoch();
        t.m_bHasEnd = 0;
        t.m_tEnd = 0;
    } else if (frame == Minute || frame == Hour) {
        t.m_vDays = Ticked(m_days, 1);
        t.m_vHours = Ticked(m_hours, 0);
        if (frame == Hour)
            t.m_nMinute = m_minute->currentIndex();
        t.m_tStart = start.toSecsSinceEpoch();
        t.m_bHasEnd = hasEnd;
        if (hasEnd)
            t.m_tEnd = end.toSecsSinceEpoch();
    } else {
        if (frame == Month) {
            t.m_vMonths = Ticked(m_months, 1);
            t.m_nDay = m_day->currentIndex() + 1;
        } else {
            t.m_vDays = Ticked(m_days, 1);
            t.m_nHour = m_hour->currentIndex();
        }
        t.m_tStart = StartDateValue().toSecsSinceEpoch();
        t.m_bHasEnd = hasEnd;
        if (hasEnd)
            t.m_tEnd = EndDateValue().toSecsSinceEpoch();
    }
    // The descriptions are built anew from the rule.
    t.m_sShortSched.clear();
    t.m_sLongSched.clear();
    tasksched::ApplySchedulerStartup(m_startup->isChecked());
    QDialog::accept();
}

} // namespace jobkit
