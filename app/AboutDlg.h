#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About box: the program icon, the product line, the version and an
// empty e-mail line; OK closes it.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* ProductLabel() const { return m_pProduct; }
    QLabel* VersionLabel() const { return m_pVersion; }
    QLabel* MailLabel() const { return m_pMail; }
    QLabel* MailText() const { return m_pMailText; }
    QPushButton* OkButton() const { return m_pOk; }

private:
    QLabel* m_pProduct = nullptr;
    QLabel* m_pVersion = nullptr;
    QLabel* m_pMail = nullptr;
    QLabel* m_pMailText = nullptr;
    QPushButton* m_pOk = nullptr;
};
