#pragma once

#include <string>
#include <vector>

struct CALLBACKSTRUCT_;

// Collects the files of a folder, for callers that look at what a folder holds (the new-task
// wizard lists their extensions).
class CFileProcessor {
public:
    // Adds every file of `folder` (with its subfolders when `topOnly` is 0) whose name matches
    // `mask` ("*.*" or empty: every file). Links to folders are not followed, so a loop of links
    // cannot make the walk endless. `callback` may be null. Returns the number of files added.
    int AddFile(const std::string& folder, const std::string& mask, int topOnly, CALLBACKSTRUCT_* callback);

    const std::vector<std::string>& GetFiles() const { return m_files; }
    // The links to folders that matched and were passed over.
    const std::vector<std::string>& GetSkipped() const { return m_skipped; }
    int GetCount() const { return static_cast<int>(m_files.size()); }
    const std::string& operator[](int index) const { return m_files[static_cast<std::size_t>(index)]; }
    void Clear() { m_files.clear(); }

private:
    std::vector<std::string> m_files;
    std::vector<std::string> m_skipped;
};
