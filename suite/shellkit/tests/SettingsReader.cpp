// The second program of the preferences tests: prints the settings as another program of the
// suite reads them, one "name=value" line each.
#include "misckit/HiddenMessages.h"
#include "misckit/Registry.h"

#include <cstdio>
#include <string>

int main() {
    const CQMRegistry reg;
    std::string text;
    auto line = [](const char* name, const std::string& value) {
        std::printf("%s=%s\n", name, value.c_str());
    };
    auto number = [&](const char* name, int value) { line(name, std::to_string(value)); };
    number("OutOverwrite", reg.GetOutOverwrite());
    number("RestoreTime", reg.GetRestoreTime());
    number("Mode", reg.GetMode());
    number("InOverwrite", reg.GetInOverwrite());
    number("RecDirs", reg.GetRecDirs());
    number("Compress", reg.GetCompress());
    line("ExtsNotCompress", reg.GetExtsNotCompress());
    line("KeyFolder", misckit::GetKeyFolder());
    line("PubKeyFile", misckit::GetPubKeyFileName());
    line("PrivKeyFile", misckit::GetPrivKeyFileName());
    line("KeyServer", reg.GetKeyServer());
    number("KeyServerPlainHttp", reg.GetAllowPlainHttp());
    number("MailPlainAuth", reg.GetMailPlainAuth());
    number("WipeRounds", reg.GetWipeRounds());
    unsigned char noMessages = 0;
    number("NoMessages", reg.ReadBYTEEx(encreg::szNoMes, noMessages) ? noMessages : -1);
    std::string hidden;
    for (const auto& id : misckit::HiddenMessageIds())
        hidden += (hidden.empty() ? "" : ",") + id;
    line("Hidden", hidden);
    const CQMRegistry run(RegRoot::LocalMachine, encreg::szStartupRun);
    number("SchedulerStartup", run.ValueExists("Quillmark Scheduler"));
    return 0;
}
