#include "StoreVerbs.h"

#include "KeyList.h"
#include "center/core/KeyManager.h"
#include "center/core/KeyRecords.h"
#include "center/core/ListRows.h"
#include "center/core/StoreWindows.h"
#include "corecrypt/QMException.h"
#include "misckit/Registry.h"

#include <cstdio>

namespace qmkey {
namespace {

constexpr int kMaxLocations = 10;

int Fail(const std::string& text) {
    std::fprintf(stderr, "qmkey: %s\n", text.c_str());
    return 1;
}

// A stored key folder that is empty gets the default one, as the key-folder window's Cancel
// gives it.
class DefaultKeyFolder : public center::HeadlessStoreWindows {
public:
    center::KeyFolderChoice ChooseKeyFolder() override {
        return {true, center::StoreDefaultKeyFolderIfUnset()};
    }
};

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i ? ", " : "") + JsonText(items[i]);
    return out + "]";
}

} // namespace

int Locations(const std::vector<std::string>& folders) {
    if (folders.size() > static_cast<std::size_t>(kMaxLocations))
        return Fail("at most 10 locations can be stored");
    if (folders.empty()) {
        center::CenterShared shared;
        center::CKeyManager store(shared);
        store.ReadLocations();
        for (const std::string& location : store.GetLocations())
            std::printf("%s\n", location.c_str());
        return 0;
    }
    const CQMRegistry registry(RegRoot::CurrentUser, encreg::szRegKeyman);
    for (int i = 0; i < kMaxLocations; ++i) {
        const std::string value = static_cast<std::size_t>(i) < folders.size() ? folders[i] : std::string();
        if (value.empty() && static_cast<std::size_t>(i) < folders.size())
            return Fail("a location cannot be empty");
        if (!registry.WriteString("Location " + std::to_string(i + 1), value))
            return Fail("cannot write the settings file " + CQMRegistry::SettingsFilePath());
    }
    return 0;
}

int KeyFolder(const std::vector<std::string>& folder) {
    if (folder.empty()) {
        center::CenterShared shared;
        center::CKeyManager store(shared);
        std::printf("%s\n", store.GetKeyFolder().c_str());
        return 0;
    }
    if (folder[0].empty())
        return Fail("the key folder cannot be empty");
    if (!CQMRegistry().WriteString(encreg::szKeyFolder, folder[0]))
        return Fail("cannot write the settings file " + CQMRegistry::SettingsFilePath());
    return 0;
}

int Scan(bool json) {
    DefaultKeyFolder windows;
    center::CenterShared shared;
    shared.pWindows = &windows;
    center::CKeyManager store(shared);
    store.ReadLocations();
    if (store.GetLocations().empty())
        return Fail("No locations are set: qmkey locations DIR...");
    store.Clear();
    try {
        store.Refresh(nullptr, false);
    } catch (const CUIException& e) {
        return Fail(e.GetReportText());
    }
    center::CKeyFileRows keys(store);
    keys.Fill();
    center::CEncryptedFileRows files(store);
    files.Fill();

    if (!json) {
        std::printf("Key files: %d\n", keys.RowCount());
        for (int r = 0; r < keys.RowCount(); ++r)
            std::printf("  %s  used %s, size(64) %s, size(128) %s\n", keys.RowRef(r).c_str(),
                        keys.CellText(r, 1).c_str(), keys.CellText(r, 2).c_str(),
                        keys.CellText(r, 3).c_str());
        std::printf("Encrypted files: %d\n", files.RowCount());
        for (int r = 0; r < files.RowCount(); ++r) {
            std::string line = "  " + files.RowRef(r);
            for (int c = 1; c < 6; ++c)
                line += (c == 1 ? "  " : ", ") + files.ColumnTitle(c) + " " + files.CellText(r, c);
            std::printf("%s\n", line.c_str());
        }
        std::printf("Errors: %zu\n", store.GetErrors().size());
        for (const std::string& error : store.GetErrors())
            std::printf("  %s\n", error.c_str());
        std::printf("Key files with the same key ID: %zu\n", store.GetDuplicates().size());
        for (const std::string& path : store.GetDuplicates())
            std::printf("  %s\n", path.c_str());
        return 0;
    }

    std::string out = "{\"keyFiles\": [";
    for (int r = 0; r < keys.RowCount(); ++r) {
        const KMKeyInfo* key = store.FindKeyFile(keys.RowRef(r));
        out += std::string(r ? "," : "") + "\n  {\"path\": " + JsonText(keys.RowRef(r)) +
               ", \"name\": " + JsonText(key->GetName()) + ", \"keyId\": \"" + Hex(key->m_sKeyId) +
               "\", \"used\": " + keys.CellText(r, 1) + ", \"size64\": " + keys.CellText(r, 2) +
               ", \"size128\": " + keys.CellText(r, 3) + "}";
    }
    out += "],\n\"files\": [";
    for (int r = 0; r < files.RowCount(); ++r) {
        const KMFileInfo* file = store.FindEncryptedFile(files.RowRef(r));
        out += std::string(r ? "," : "") + "\n  {\"path\": " + JsonText(files.RowRef(r)) +
               ", \"name\": " + JsonText(file->GetName()) + ", \"size\": " + std::to_string(file->m_nSize) +
               ", \"type\": " + JsonText(files.CellText(r, 2)) +
               ", \"keyFile\": " + JsonText(file->m_csKeyFilePath) +
               ", \"algorithm\": " + JsonText(file->m_csAlgorithm) +
               ", \"mode\": " + JsonText(file->m_csMode) + "}";
    }
    out += "],\n\"errors\": " + JsonList(store.GetErrors()) +
           ",\n\"duplicates\": " + JsonList(store.GetDuplicates()) + "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

} // namespace qmkey
