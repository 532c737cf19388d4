#include "settings/HotkeyDlg.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>

#include "platform/MessageSink.h"
#include "widgets/CommandButtonWidget.h"

namespace {

const char* const kTitle = QT_TRANSLATE_NOOP("CHotkeyDlg", "请输入热键");
const char* const kEnterKey = QT_TRANSLATE_NOOP("CHotkeyDlg", "请输入键值!");
const char* const kCaption = "Tamberlink";

// The template's size in dialog units.
constexpr int kWidthDu = 177;
constexpr int kHeightDu = 83;

// The hotkey service maps printable ASCII characters to keys; anything else
// (a CJK character from an input method, say) would name no key at all.
bool IsKeyCharacter(const QString& text)
{
    if (text.size() != 1)
        return false;
    const char16_t c = text.at(0).unicode();
    return c >= 0x20 && c <= 0x7e;
}

}  // namespace

CHotkeyDlg::CHotkeyDlg(QWidget* parent, IMessageSink* messages)
    : QDialog(parent), m_pMessages(messages), m_btnOK(kIdOk, tr("确定").toStdString())
    , m_btnCancel(kIdCancel, tr("取消").toStdString())
{
    setWindowTitle(tr(kTitle));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    CreateControls();
    UpdateData(false);
}

CHotkeyDlg::~CHotkeyDlg() = default;

void CHotkeyDlg::CreateControls()
{
    m_pShift = new QCheckBox(QStringLiteral("Shift"), this);
    m_pCtrl = new QCheckBox(QStringLiteral("Ctrl"), this);
    m_pAlt = new QCheckBox(QStringLiteral("Alt"), this);
    m_pPlus = new QLabel(QStringLiteral("+"), this);
    m_pPlus->setAlignment(Qt::AlignCenter);
    m_pKey = new QLineEdit(this);
    m_pKey->setMaxLength(1);
    m_pKey->setAlignment(Qt::AlignCenter);
    connect(m_pKey, &QLineEdit::textEdited, this, &CHotkeyDlg::OnKeyEdited);

    // Plain command buttons: no icons, no Auto mark.
    m_pOk = new CCommandButtonWidget(this);
    m_pCancel = new CCommandButtonWidget(this);
    m_btnOK.SetUp(false, false, 0, 0, m_pOk->BaseFaceColour());
    m_btnCancel.SetUp(false, false, 0, 0, m_pCancel->BaseFaceColour());
    m_pOk->Apply(m_btnOK);
    m_pCancel->Apply(m_btnCancel);
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &CHotkeyDlg::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);

    PlaceAt(m_pShift, 12, 12, 40, 12);
    PlaceAt(m_pCtrl, 12, 32, 40, 12);
    PlaceAt(m_pAlt, 12, 52, 40, 12);
    PlaceAt(m_pPlus, 55, 32, 10, 12);
    PlaceAt(m_pKey, 68, 31, 30, 14);
    PlaceAt(m_pOk, 116, 16, 50, 16);
    PlaceAt(m_pCancel, 116, 46, 50, 16);
    setFixedSize(MapSize());
}

QSize CHotkeyDlg::MapSize() const
{
    return MapDialogRect(0, 0, kWidthDu, kHeightDu).size();
}

QRect CHotkeyDlg::MapDialogRect(int x, int y, int w, int h) const
{
    // Dialog base units of this dialog's font: average Latin letter width
    // and line height.
    const QFontMetrics metrics(font());
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = std::max(1, (letters / 26 + 1) / 2);
    const int baseY = std::max(1, metrics.height());
    auto scale = [](int value, int base, int divisor) {
        return (value * base + divisor / 2) / divisor;
    };
    return QRect(scale(x, baseX, 4), scale(y, baseY, 8), scale(w, baseX, 4), scale(h, baseY, 8));
}

void CHotkeyDlg::PlaceAt(QWidget* widget, int x, int y, int w, int h)
{
    widget->setGeometry(MapDialogRect(x, y, w, h));
}

void CHotkeyDlg::SetHotkey(std::uint8_t key, std::uint8_t mods)
{
    m_byKey = key;
    m_byMods = mods;
    m_bShift = (mods & kModShift) ? 1 : 0;
    m_bCtrl = (mods & kModCtrl) ? 1 : 0;
    m_bAlt = (mods & kModAlt) ? 1 : 0;
    // No key yet (0) or a stored byte that is no character: an empty field.
    m_strKey = (key >= 0x20 && key <= 0x7e) ? QString(QChar(key)) : QString();
    UpdateData(false);
}

void CHotkeyDlg::UpdateData(bool save)
{
    if (save) {
        m_bShift = m_pShift->isChecked() ? 1 : 0;
        m_bCtrl = m_pCtrl->isChecked() ? 1 : 0;
        m_bAlt = m_pAlt->isChecked() ? 1 : 0;
        m_strKey = m_pKey->text();
    } else {
        m_pShift->setChecked(m_bShift != 0);
        m_pCtrl->setChecked(m_bCtrl != 0);
        m_pAlt->setChecked(m_bAlt != 0);
        m_pKey->setText(m_strKey);
    }
}

void CHotkeyDlg::OnKeyEdited(const QString& text)
{
    // An upper-case field: what is typed shows as it will be stored.
    const QString upper = text.toUpper();
    if (upper != text) {
        const int cursor = m_pKey->cursorPosition();
        m_pKey->setText(upper);
        m_pKey->setCursorPosition(cursor);
    }
}

void CHotkeyDlg::OnOK()
{
    UpdateData(true);
    if (!IsKeyCharacter(m_strKey)) {
        if (m_pMessages)
            m_pMessages->ShowMessage(tr(kEnterKey).toStdString(), kCaption, MessageIcon::Warning);
        else
            QMessageBox::warning(this, QString::fromUtf8(kCaption), tr(kEnterKey));
        return;
    }
    std::uint8_t mods = 0;
    if (m_bShift)
        mods = kModShift;
    if (m_bCtrl)
        mods |= kModCtrl;
    if (m_bAlt)
        mods |= kModAlt;
    m_byMods = mods;
    m_byKey = std::uint8_t(m_strKey.toUpper().at(0).unicode());
    QDialog::accept();
}
