#include "widgets/core/CommandButton.h"

#include <utility>

#include "platform/UiText.h"

namespace {

struct ButtonSetUp {
    CommandId id;
    const char* caption;
    bool toggleable;
    bool hasBusyIcon;
    int normalIcon;
    int busyIcon;
};

constexpr ButtonSetUp kButtons[] = {
    {kCmdDetect, "检测芯片ID", false, false, 0, 0},
    {kCmdLoadFile, "装入文件", true, true, 143, 0},
    {kCmdSaveFile, "保存文件", false, false, 131, 0},
    {kCmdErase, "檫除器件", true, true, 129, 134},
    {kCmdWrite, "写器件", true, true, 135, 136},
    {kCmdRead, "读器件", true, true, 137, 138},
    {kCmdVerify, "效验数据", true, true, 139, 140},
    {kCmdAuto, "自动完成", false, true, 142, 0},
    {kCmdLock, "加密操作", false, false, 0, 0},
};

constexpr const char* kMarkPrefix = "(自动)";
constexpr std::uint32_t kMarkLighten = 0x0F0F0F;

}  // namespace

CCommandButton::CCommandButton(int id, std::string caption)
    : m_nId(id), m_strCaption(std::move(caption))
{
}

CCommandButton CCommandButton::ForCommand(CommandId id)
{
    for (const ButtonSetUp& b : kButtons) {
        if (b.id == id) {
            CCommandButton button(b.id, Tr(b.caption));
            button.SetUp(b.toggleable, b.hasBusyIcon, b.normalIcon, b.busyIcon);
            return button;
        }
    }
    return CCommandButton(id, std::string());
}

void CCommandButton::SetUp(bool toggleable, bool hasBusyIcon, int normalIcon, int busyIcon,
                           std::uint32_t baseFaceColour)
{
    m_bToggleable = toggleable ? 1 : 0;
    m_bHasBusyIcon = hasBusyIcon ? 1 : 0;
    m_nNormalIcon = normalIcon;
    m_nBusyIcon = busyIcon;
    m_crBaseFace = baseFaceColour;
    // Built for every button, so a stray mark can never blank a caption.
    m_strMarkedCaption = std::string(Tr(kMarkPrefix)) + m_strCaption;
    if (m_bHasBusyIcon)
        SetBusy(0);
    else if (m_nNormalIcon != 0)
        m_nCurrentIcon = m_nNormalIcon;
}

void CCommandButton::SetBusy(int value)
{
    m_bBusy = value;
    const int icon = value ? m_nBusyIcon : m_nNormalIcon;
    // A button without a busy icon keeps the one it shows.
    if (icon != 0)
        m_nCurrentIcon = icon;
}

void CCommandButton::SetMark(int value)
{
    m_bMarked = value ? 1 : 0;
}

bool CCommandButton::ToggleMark()
{
    if (!m_bToggleable)
        return false;
    SetMark(!m_bMarked);
    return true;
}

const std::string& CCommandButton::Caption() const
{
    return m_bMarked ? m_strMarkedCaption : m_strCaption;
}

std::uint32_t CCommandButton::FaceColour() const
{
    return m_bMarked ? m_crBaseFace + kMarkLighten : m_crBaseFace;
}
