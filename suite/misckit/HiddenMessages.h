#pragma once

#include "uikit/Ui.h"

#include <string>
#include <vector>

// Messages that the user may silence with "Don't show this message again". The silenced ones are
// kept by id, separated by ";", in the program settings value "HiddenMessages", so that every
// program of the suite honours them and the preferences can bring them back.
namespace misckit {

struct HideableMessage {
    const char* id;
    const char* title; // what the preferences list it as
};
// Every message that can be silenced, in the order the preferences list them.
const std::vector<HideableMessage>& HideableMessages();

bool IsMessageHidden(const std::string& id);
std::vector<std::string> HiddenMessageIds();
// Non-zero on success.
int HideMessage(const std::string& id);
int ShowMessageAgain(const std::string& id);
int ShowAllMessagesAgain();

// Shows `message` with the "Don't show this message again" box unless the message is silenced;
// a silenced message is not shown and gives `whenHidden`. Ticking the box silences it.
uikit::Answer ShowHideableMessage(const std::string& id, uikit::Message message, uikit::Answer whenHidden);

} // namespace misckit
