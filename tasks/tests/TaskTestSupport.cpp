#include "TaskTestSupport.h"

#include <stdexcept>

namespace tasktest {
namespace {

class Filler : public jobkit::ITaskFieldVisitor {
public:
    explicit Filler(int seed) : m_n(seed * 1000) {}
    void Int(const char*, std::int32_t& v) override { v = ++m_n % 2 ? m_n : -m_n; }
    void Time(const char*, std::int64_t& v) override { v = 1700000000LL + ++m_n * 3600LL; }
    void Text(const char* name, std::string& v) override {
        // Lengths cycle through the one-byte, three-byte prefix limits and multibyte UTF-8.
        static const std::size_t lengths[] = {0, 1, 254, 255, 300, 0xFFFD, 0xFFFE, 0x10001};
        const std::size_t length = lengths[++m_n % std::size(lengths)];
        v = std::string(name) + "-" + std::to_string(m_n) + " \xC3\xA9\xE2\x82\xAC ";
        v.resize(length, static_cast<char>('a' + m_n % 26));
    }
    void List(const char*, std::vector<std::int32_t>& v) override {
        v.clear();
        for (int i = 0; i < m_n % 5 + 1; ++i)
            v.push_back(i * 3 + m_n % 7);
        ++m_n;
    }

private:
    int m_n;
};

class Describer : public jobkit::ITaskFieldVisitor {
public:
    std::vector<std::string> lines;
    void Int(const char* n, std::int32_t& v) override {
        lines.push_back(std::string(n) + "=" + std::to_string(v));
    }
    void Time(const char* n, std::int64_t& v) override {
        lines.push_back(std::string(n) + "=" + std::to_string(v));
    }
    void Text(const char* n, std::string& v) override { lines.push_back(std::string(n) + "=" + v); }
    void List(const char* n, std::vector<std::int32_t>& v) override {
        std::string s = std::string(n) + "=";
        for (const auto x : v)
            s += std::to_string(x) + ",";
        lines.push_back(s);
    }
};

} // namespace

void FillEveryField(CAction& task, int seed) {
    Filler filler(seed);
    jobkit::VisitTaskFields(task, filler);
}

EveryKind::EveryKind() {
    FillEveryField(del, 1);
    FillEveryField(enc, 2);
    FillEveryField(mail, 3);
    manager.m_lstDelete = {&del};
    manager.m_lstEncrypt = {&enc};
    manager.m_lstSendMail = {&mail};
}

std::string EveryKind::Save() {
    std::string bytes, error;
    if (!manager.WriteScheduleBytes(bytes, error))
        throw std::runtime_error(error);
    return bytes;
}

std::vector<std::string> DescribeFields(CAction& task) {
    Describer d;
    jobkit::VisitTaskFields(task, d);
    d.lines.insert(d.lines.begin(), std::string("class=") + task.GetRuntimeClass()->m_lpszClassName);
    return d.lines;
}

} // namespace tasktest
