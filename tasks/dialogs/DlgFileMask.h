#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace jobkit {

// "File mask": edits a File mask text |m1|m2|...| as a list of file types and a list of other
// search criteria. OK gives the edited text through Mask().
class CDlgFileMask : public QDialog {
    Q_OBJECT
public:
    explicit CDlgFileMask(std::string mask, QWidget* parent = nullptr);
    const std::string& Mask() const { return m_mask; }
    QTreeWidget* Types() const { return m_types; }
    QListWidget* Criteria() const { return m_criteria; }

    void AddType();
    void RemoveTypes();
    void AddCriterion();
    void EditCriterion();
    void RemoveCriteria();

private:
    void Refill();
    // Runs a change of the text; a mask that is not found is reported, the text kept.
    template <typename Change>
    void Guarded(Change change);

    std::string m_mask;
    QTreeWidget* m_types;
    QListWidget* m_criteria;
};

// "Add file mask" (or "Edit file mask"): one mask with the wildcards * and ?.
class CDlgAddFileMask : public QDialog {
    Q_OBJECT
public:
    CDlgAddFileMask(bool editing, const QString& mask, QWidget* parent = nullptr);
    QString Mask() const;
    QLineEdit* Edit() const { return m_edit; }

private:
    QLineEdit* m_edit;
};

} // namespace jobkit
