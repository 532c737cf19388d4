#include "app/AboutDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Vrel_2005  "));
    const QIcon icon(QStringLiteral(":/icons/128.svg"));
    setWindowIcon(icon);

    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(icon.pixmap(32, 32));
    iconLabel->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_pProduct = new QLabel(QStringLiteral("Tamberlink V3.0"), this);
    m_pVersion = new QLabel(tr("版本　Ver3.0"), this);
    m_pMail = new QLabel(QStringLiteral("E_mail:"), this);
    m_pMailText = new QLabel(QString(), this);
    m_pMailText->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QGridLayout;
    texts->addWidget(m_pProduct, 0, 0, 1, 2);
    texts->addWidget(m_pVersion, 1, 0, 1, 2);
    texts->addWidget(m_pMail, 2, 0);
    texts->addWidget(m_pMailText, 2, 1);
    texts->setColumnStretch(1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel);
    top->addSpacing(8);
    top->addLayout(texts, 1);
    top->addWidget(m_pOk, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
