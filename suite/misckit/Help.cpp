#include "misckit/Help.h"

#include "misckit/ErrorList.h"
#include "misckit/Registry.h"
#include "uikit/ShellInfo.h"
#include "uikit/Ui.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <strings.h>

namespace misckit {
namespace {

std::string& HelpOverride() {
    static std::string folder;
    return folder;
}

std::vector<std::string> SplitTopic(const std::string& topic) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : topic + "/") {
        if (c == '/' || c == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

// The entry of `folder` whose name equals `name` without regard to case; an exact match wins.
std::string FindEntry(const QString& folder, const std::string& name) {
    const QString wanted = QString::fromStdString(name);
    if (QFileInfo::exists(folder + "/" + wanted))
        return name;
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& entry : entries)
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return entry.toStdString();
    return {};
}

} // namespace

std::string HelpFolder() {
    if (!HelpOverride().empty())
        return HelpOverride();
    return QDir::cleanPath(QString::fromStdString(uikit::GetProgramFolder() + "../share/quillmark/help"))
        .toStdString();
}

void SetHelpFolderForTesting(const std::string& folder) {
    HelpOverride() = folder;
}

std::string FindHelpPage(const std::string& topic) {
    std::vector<std::string> parts = SplitTopic(topic);
    if (!parts.empty() && strcasecmp(parts.front().c_str(), "qmhelp") == 0)
        parts.erase(parts.begin());
    if (parts.empty())
        return {};
    QString path = QString::fromStdString(HelpFolder());
    for (const auto& part : parts) {
        // A topic never climbs out of the help folder.
        if (part == "." || part == "..")
            return {};
        const std::string entry = FindEntry(path, part);
        if (entry.empty())
            return {};
        path += "/" + QString::fromStdString(entry);
    }
    const QFileInfo info(path);
    return info.isFile() ? path.toStdString() : std::string();
}

int ShowHelpTopic(const std::string& topic) {
    const std::string page = FindHelpPage(topic);
    if (page.empty()) {
        uikit::MessageBox("The help page \"" + topic +
                              "\" is not installed.\nThe help pages are expected in " + HelpFolder() + ".",
                          szAppName, uikit::Buttons::OK, uikit::Icon::Warning);
        return 0;
    }
    const std::string url = QUrl::fromLocalFile(QString::fromStdString(page)).toString().toStdString();
    if (!uikit::OpenUrl(url)) {
        uikit::MessageBox("The help page cannot be opened in a browser:\n" + page, szAppName,
                          uikit::Buttons::OK, uikit::Icon::Warning);
        return 0;
    }
    return 1;
}

int GetLinkText(std::string& text, int variant, const std::string& key) {
    if (variant != 1 || key.empty())
        return 0;
    std::string stored;
    if (CQMRegistry().ReadStringEx("Link " + key, stored) && !stored.empty()) {
        text = stored;
        return 1;
    }
    static const std::pair<const char*, const char*> kLinks[] = {
        {"hlmain", "https://quillmark.example.org/"},
        {"hlsupport", "https://quillmark.example.org/support/"},
    };
    for (const auto& [k, url] : kLinks)
        if (key == k) {
            text = url;
            return 1;
        }
    return 0;
}

int OpenLink(const std::string& text, int) {
    const QUrl url = QUrl::fromUserInput(QString::fromStdString(text));
    // Only web pages and local files: a link text never starts another program.
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != "https" && scheme != "http" && scheme != "file")) {
        uikit::MessageBox("The link cannot be opened:\n" + text, szAppName, uikit::Buttons::OK,
                          uikit::Icon::Warning);
        return 0;
    }
    return uikit::OpenUrl(url.toString().toStdString()) ? 1 : 0;
}

} // namespace misckit
