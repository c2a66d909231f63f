#pragma once

#include <string>

namespace keeper {

// Tells the user through the desktop's notification service (org.freedesktop.Notifications on the
// session bus) that a scheduled task ended with errors. Without a session bus or a notification
// service nothing is shown and false is returned with the reason; the run is not affected.
bool NotifyTaskErrors(const std::string& taskName, int errors, const std::string& firstError,
                      std::string& reason);

// The texts of that notification.
std::string TaskErrorsSummary(const std::string& taskName, int errors);
std::string TaskErrorsBody(int errors, const std::string& firstError);

} // namespace keeper
