#include "tasks/model/PropertyItem.h"

#include "uikit/UIException.h"

#include <climits>
#include <stdexcept>

CPropertyItem::CPropertyItem(std::string label, EditorKind kind)
    : m_csLabel(std::move(label)), m_nEditorKind(kind) {}

const std::vector<std::string>& CPropertyItem::NoYes() {
    static const std::vector<std::string> options = {"No", "Yes"};
    return options;
}

void CPropertyItem::Connect(void* target, int valueType) {
    if (valueType != StringValue && valueType != IntValue)
        throw CUIException(1, "CPropertyItem::Connect", "Unknown type.");
    m_pTarget = target;
    m_nValueType = valueType;
}

void CPropertyItem::SetCurValue(const std::string& text) {
    if (!m_pTarget)
        return;
    if (m_nValueType == IntValue) {
        *static_cast<std::int32_t*>(m_pTarget) = DecimalToInt(text);
    } else {
        *static_cast<std::string*>(m_pTarget) = text;
    }
}

std::string CPropertyItem::GetCurValueString() const {
    if (!m_pTarget)
        return {};
    if (m_nValueType == StringValue)
        return *static_cast<const std::string*>(m_pTarget);
    const std::int32_t value = *static_cast<const std::int32_t*>(m_pTarget);
    if (m_nEditorKind == Choice) {
        if (value < 0 || static_cast<std::size_t>(value) >= m_vOptions.size())
            throw std::invalid_argument("\"" + m_csLabel + "\" has no option " + std::to_string(value) + ".");
        return m_vOptions[static_cast<std::size_t>(value)];
    }
    return std::to_string(value);
}

std::int32_t DecimalToInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<std::int32_t>(value);
}
