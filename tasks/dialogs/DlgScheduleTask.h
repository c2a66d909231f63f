#pragma once

#include <QDateTime>
#include <QDialog>
#include <QList>

class CAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QSpinBox;
class QTimeEdit;

namespace jobkit {

// "Schedule Task": edits the schedule rule of one task in place when the user presses OK, and
// whether keeper starts when the user logs in. Saving the schedule is the caller's business.
class CDlgScheduleTask : public QDialog {
    Q_OBJECT
public:
    enum RunType { Regularly = 1, Once = 2, AtStartup = 3 };
    enum TimeFrame { Minute = 0, Hour = 1, Day = 2, Week = 3, Month = 4, OnceFrame = 5, StartupFrame = 6 };

    CDlgScheduleTask(CAction* task, QWidget* parent = nullptr);

    void accept() override;

    // For tests and for the window's own handlers.
    QComboBox* RunChoice() const { return m_runType; }
    QComboBox* TimeFrameChoice() const { return m_timeFrame; }
    QSpinBox* Interval() const { return m_interval; }
    QComboBox* MinuteChoice() const { return m_minute; }
    QComboBox* HourChoice() const { return m_hour; }
    QComboBox* DayChoice() const { return m_day; }
    QCheckBox* DayBox(int day) const { return m_days[day - 1]; }         // 1 Sunday .. 7 Saturday
    QCheckBox* HourBox(int hour) const { return m_hours[hour]; }         // 0 .. 23
    QCheckBox* MonthBox(int month) const { return m_months[month - 1]; } // 1 .. 12
    QDateEdit* StartDate() const { return m_startDate; }
    QTimeEdit* StartTime() const { return m_startTime; }
    QCheckBox* EndBox() const { return m_hasEnd; }
    QDateEdit* EndDate() const { return m_endDate; }
    QTimeEdit* EndTime() const { return m_endTime; }
    QCheckBox* StartupBox() const { return m_startup; }

private:
    void Fill();
    void Load();
    void ApplyRunType();
    void ApplyTimeFrame();
    void ApplyEnd();
    void SetStart(const QDateTime& when);
    void SetEnd(const QDateTime& when);
    // The date picker's own value: its date with the time of day it was given.
    QDateTime StartDateValue() const;
    QDateTime EndDateValue() const;
    static void Problem(const char* text);

    CAction* m_task;
    bool m_timesShown = true;
    QTime m_startDayTime;
    QTime m_endDayTime;

    QComboBox* m_runType;
    QLabel* m_everyLabel;
    QSpinBox* m_interval;
    QComboBox* m_timeFrame;
    QLabel* m_choiceLead; // "on" or "at"
    QComboBox* m_minute;
    QLabel* m_minuteLabel;
    QComboBox* m_hour;
    QLabel* m_hourLabel;
    QComboBox* m_day;
    QLabel* m_dayLabel;
    QGroupBox* m_dayGroup;
    QGroupBox* m_hourGroup;
    QGroupBox* m_monthGroup;
    QList<QCheckBox*> m_days;
    QList<QCheckBox*> m_hours;
    QList<QCheckBox*> m_months;
    QLabel* m_startLabel;
    QDateEdit* m_startDate;
    QTimeEdit* m_startTime;
    QCheckBox* m_hasEnd;
    QDateEdit* m_endDate;
    QTimeEdit* m_endTime;
    QLabel* m_noEnd;
    QCheckBox* m_startup;
};

} // namespace jobkit
