#pragma once

#include <QDialog>

#include <array>

#include "programmer/DeviceRecord.h"
#include "sordane/RecordFieldCodec.h"

class QLabel;
class QLineEdit;

// Edits one catalogue record in a small form. OK takes the values only when
// every field passes the input rules; otherwise the first bad field gets the
// focus and the reason shows under the form.
class CRecordDlg : public QDialog {
    Q_OBJECT

public:
    explicit CRecordDlg(const DeviceRecord& record, QWidget* parent = nullptr);

    // The record as last accepted (the starting one until then).
    const DeviceRecord& Record() const { return m_Record; }
    QLineEdit* FieldEdit(int field) const { return m_edits[std::size_t(field)]; }
    // The reason shown for the last rejected OK; empty after a good one.
    QString ErrorText() const;

    void accept() override;

private:
    DeviceRecord m_Record;
    std::array<QLineEdit*, CRecordFieldCodec::kFieldCount> m_edits{};
    QLabel* m_pError = nullptr;
};
