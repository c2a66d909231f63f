#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One row of a task's property grid, bound to a field of that very task.
class CPropertyItem {
public:
    enum EditorKind { Choice = 0, Text = 1, FileTypes = 2, Folder = 3, Masked = 4, File = 5, LongText = 6 };
    enum ValueType { StringValue = 1, IntValue = 2 };

    // Style bits of the one-line edit box of Text and Masked rows.
    static constexpr std::uint32_t kStyleChild = 0x40000000;
    static constexpr std::uint32_t kStyleVisible = 0x10000000;
    static constexpr std::uint32_t kStyleBorder = 0x00800000;
    static constexpr std::uint32_t kStyleAutoScroll = 0x00000080;
    static constexpr std::uint32_t kStylePassword = 0x00000020;
    static constexpr std::uint32_t kStyleReadOnly = 0x00000800;
    static constexpr std::uint32_t kDefaultEditStyle =
        kStyleChild | kStyleVisible | kStyleBorder | kStyleAutoScroll;
    static constexpr std::uint32_t kPlainEditStyle = 0;

    // File chooser flag: the chosen path's folder must exist.
    static constexpr std::uint32_t kPathMustExist = 0x00000800;

    // The options of the yes-no rows, in index order.
    static const std::vector<std::string>& NoYes();

    CPropertyItem() = default;
    CPropertyItem(std::string label, EditorKind kind);

    // Binds the row to a field: a std::string for value type 1, an int32 for value type 2. Any
    // other value type throws CUIException(1, "CPropertyItem::Connect", "Unknown type.").
    void Connect(void* target, int valueType);
    void Connect(std::string* target) { Connect(target, StringValue); }
    void Connect(std::int32_t* target) { Connect(target, IntValue); }

    // Stores an edited text: unchanged for a string, its leading decimal number for an int.
    void SetCurValue(const std::string& text);
    // The value as shown: the text, the chosen option of an int Choice (std::invalid_argument
    // when the index is out of range) or the decimal form of an int.
    std::string GetCurValueString() const;

    std::string m_csLabel;
    void* m_pTarget = nullptr;
    int m_nEditorKind = Text;
    int m_nValueType = StringValue;
    std::uint32_t m_dwEditStyle = kDefaultEditStyle;
    std::vector<std::string> m_vOptions;
    std::string m_csDefExt;
    std::string m_csFilter;
    std::string m_csTitle;
    std::uint32_t m_dwFlags = 0;
};

// The leading decimal number of a text (after blanks and a sign), 0 without one; clamped to the
// int32 range instead of overflowing.
std::int32_t DecimalToInt(const std::string& text);
