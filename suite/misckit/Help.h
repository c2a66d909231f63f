#pragma once

#include <string>

namespace misckit {

// Opens a help topic ("/qmhelp/kmover.htm", "QMhelp/Scheduler/TSSCHEDULINGTASKS.HTM") in the
// user's browser. Topics name pages of the HTML help installed with the programs, in
// <program folder>/../share/quillmark/help/; the leading "qmhelp" folder is that folder, and
// names match without regard to case. A page that is not installed, or a topic that leaves the
// help folder, is reported in a message box. Non-zero when the page was handed to the browser.
int ShowHelpTopic(const std::string& topic);

// The help folder: <program folder>/../share/quillmark/help, or the one set for tests.
std::string HelpFolder();
void SetHelpFolderForTesting(const std::string& folder);
// The installed file of a topic; empty when there is none.
std::string FindHelpPage(const std::string& topic);

// The address behind a link key ("hlmain": the product's web site). `variant` 1 is the web
// address (the only one there is). A value "Link <key>" under the program settings overrides
// the built-in table. Non-zero when the key is known.
int GetLinkText(std::string& text, int variant, const std::string& key);
// Opens the address in the user's browser; `showState` (5: a normal window) is accepted for
// the callers' sake, the browser decides how it shows. Non-zero when it was opened.
int OpenLink(const std::string& text, int showState);

} // namespace misckit
