#include "sordane/RecordDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CRecordDlg::CRecordDlg(const DeviceRecord& record, QWidget* parent)
    : QDialog(parent), m_Record(record)
{
    setWindowTitle(tr("器件参数"));

    auto* form = new QFormLayout;
    static const char* const kHints[CRecordFieldCodec::kFieldCount] = {
        QT_TR_NOOP("最长 19 字节, 汉字占两字节"), "0 - 255", "0 - 128", QT_TR_NOOP("如 5.00"),
        QT_TR_NOOP("如 1E 51 06")};
    for (int field = 0; field < CRecordFieldCodec::kFieldCount; ++field) {
        auto* edit = new QLineEdit(CRecordFieldCodec::Format(record, field), this);
        edit->setPlaceholderText(tr(kHints[field]));
        m_edits[std::size_t(field)] = edit;
        form->addRow(CRecordFieldCodec::Title(field) + QLatin1Char(':'), edit);
    }

    m_pError = new QLabel(this);
    m_pError->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_pError->setWordWrap(true);
    m_pError->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CRecordDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRecordDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pError);
    layout->addWidget(buttons);
}

QString CRecordDlg::ErrorText() const
{
    return m_pError->isHidden() ? QString() : m_pError->text();
}

void CRecordDlg::accept()
{
    // Parse into a copy: a rejected OK must not leave half the fields taken.
    DeviceRecord record = m_Record;
    for (int field = 0; field < CRecordFieldCodec::kFieldCount; ++field) {
        QLineEdit* edit = m_edits[std::size_t(field)];
        const QString reason = CRecordFieldCodec::Parse(field, edit->text(), record);
        if (!reason.isEmpty()) {
            m_pError->setText(reason);
            m_pError->show();
            edit->setFocus();
            edit->selectAll();
            return;
        }
    }
    m_pError->hide();
    m_pError->clear();
    m_Record = record;
    QDialog::accept();
}
