#pragma once

// Steps the key-server window tests share: finding a control by its accessible name, taking the
// messages shown, and confirming an address through the link the server mailed.

#include "KeyServerProcess.h"

#include "uikit/ScriptedBackend.h"

#include <QStringList>
#include <QWidget>

namespace keyservtest {

template <class W>
W* Named(QWidget& window, const QString& name) {
    for (W* w : window.findChildren<W*>())
        if (w->accessibleName() == name)
            return w;
    return nullptr;
}

// The messages shown since the last call, as "caption|text"; from now on questions are answered
// Yes and notices OK.
inline QStringList TakeShown(uikit::ScriptedBackend& ui) {
    QStringList shown;
    for (const auto& m : ui.messages())
        shown << QString::fromStdString(m.caption + "|" + m.text);
    ui.clear();
    ui.setMessageHandler([](const uikit::Message& m) {
        return m.buttons == uikit::Buttons::YesNo ? uikit::Answer::Yes : uikit::Answer::OK;
    });
    return shown;
}

// Opens the confirmation link of the latest mail to `email`, as a mail reader's browser does.
// False when there is no link or the server refused it.
inline bool ConfirmAddress(const SmtpTestServer& smtp, const KeyServerProcess& server,
                           const std::string& email) {
    const std::string link = LatestLineStartingWith(smtp, email, server.url() + "/v1/verify/");
    return !link.empty() && qmtest::RunProgram("/usr/bin/curl", {"-fsS", link}).exitCode == 0;
}

} // namespace keyservtest
