#include "widgets/CommandButtonWidget.h"

#include "widgets/core/CommandButton.h"

#include <QApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include <algorithm>

// Outside any namespace, as Qt's resource macro requires. The icons live in
// a static library, so nothing would pull them in without this call.
static void InitIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace {

constexpr int kPadding = 6;
constexpr int kSpacing = 6;
constexpr std::uint32_t kMarkLighten = 0x0F0F0F;

}  // namespace

CCommandButtonWidget::CCommandButtonWidget(QWidget* parent) : QPushButton(parent)
{
    InitIconResources();
    m_crBaseFace = ColorRefFromColour(palette().color(QPalette::Active, QPalette::Button));
    m_crFace = m_crBaseFace;
    setIconSize(QSize(kIconSize, kIconSize));
    // The right mouse button marks the button; no menu may take it away.
    setContextMenuPolicy(Qt::PreventContextMenu);
    // The focus comes from Tab only: a click that took it would make the
    // next Enter click this button again instead of running Auto.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

QColor CCommandButtonWidget::ColourFromColorRef(std::uint32_t colorRef)
{
    return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

std::uint32_t CCommandButtonWidget::ColorRefFromColour(const QColor& colour)
{
    return std::uint32_t(colour.red()) | (std::uint32_t(colour.green()) << 8)
        | (std::uint32_t(colour.blue()) << 16);
}

QString CCommandButtonWidget::IconPath(int iconId)
{
    if (iconId <= 0)
        return QString();
    return QStringLiteral(":/icons/%1.svg").arg(iconId);
}

bool CCommandButtonWidget::IsTextLeftCommand(int id)
{
    // The operation column: Load file down to Auto.
    return id >= kCmdLoadFile && id <= kCmdAuto;
}

void CCommandButtonWidget::Apply(const CCommandButton& model)
{
    setText(QString::fromStdString(model.Caption()));

    const int iconId = model.CurrentIcon();
    if (iconId != m_nIconId) {
        m_nIconId = iconId;
        setIcon(iconId ? QIcon(IconPath(iconId)) : QIcon());
    }

    SetTextLeft(IsTextLeftCommand(model.Id()));

    // The model may have been set up without knowing the toolkit's face;
    // then its lightening applies to this widget's own face.
    const std::uint32_t face = model.FaceColour();
    const std::uint32_t modelBase = model.IsMarked() ? face - kMarkLighten : face;
    const std::uint32_t base = modelBase != 0 ? modelBase : m_crBaseFace;
    SetFace(base + (face - modelBase));
}

void CCommandButtonWidget::SetFace(std::uint32_t colorRef)
{
    colorRef &= 0xFFFFFF;
    if (colorRef == m_crFace)
        return;
    m_crFace = colorRef;
    QPalette pal = palette();
    pal.setColor(QPalette::Button, ColourFromColorRef(colorRef));
    setPalette(pal);
    update();
}

QColor CCommandButtonWidget::FaceColour() const
{
    return ColourFromColorRef(m_crFace);
}

void CCommandButtonWidget::SetTextLeft(bool left)
{
    if (left == m_bTextLeft)
        return;
    m_bTextLeft = left;
    update();
}

QSize CCommandButtonWidget::sizeHint() const
{
    const QFontMetrics fm(font());
    int width = 2 * kPadding + fm.horizontalAdvance(text());
    int height = fm.height() + 10;
    if (!icon().isNull()) {
        width += kIconSize + kSpacing;
        height = std::max(height, kIconSize + 6);
    }
    return QSize(std::max(width, 60), height);
}

int CCommandButtonWidget::CaptionWidth() const
{
    const int iconWidth = icon().isNull() ? 0 : kIconSize + kSpacing;
    return std::max(width() - 2 * kPadding - iconWidth, 0);
}

void CCommandButtonWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const bool down = isDown() || isChecked();
    const bool hot = underMouse() && isEnabled();

    // A flat face with a thin frame; the frame takes the highlight colour
    // under the mouse, and a pressed button sinks by a pixel.
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(hot ? pal.color(QPalette::Highlight) : face.darker(150));
    painter.setBrush(down ? face.darker(112) : face);
    painter.drawRoundedRect(frame, 2.0, 2.0);
    painter.setRenderHint(QPainter::Antialiasing, false);

    QRect content = rect().adjusted(kPadding, 2, -kPadding, -2);
    if (down)
        content.translate(1, 1);

    const QFontMetrics fm(font());
    const bool hasIcon = !icon().isNull();
    const int iconWidth = hasIcon ? kIconSize + kSpacing : 0;
    const QString caption = fm.elidedText(text(), Qt::ElideRight, CaptionWidth());
    int x = content.left();
    if (!m_bTextLeft) {
        // Icon and caption centred as one group.
        const int group = iconWidth + fm.horizontalAdvance(caption);
        x = content.left() + std::max((content.width() - group) / 2, 0);
    }
    if (hasIcon) {
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        const QRect iconRect(x, content.top() + (content.height() - kIconSize) / 2, kIconSize,
                             kIconSize);
        icon().paint(&painter, iconRect, Qt::AlignCenter, mode);
        x += iconWidth;
    }
    painter.setPen(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                             QPalette::ButtonText));
    const QRect textRect(x, content.top(), content.right() - x + 1, content.height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption);

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(3, 3, -3, -3);
        option.backgroundColor = face;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void CCommandButtonWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        // Taken here so that the release comes back to this button.
        m_bRightPressed = true;
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && isEnabled()) {
        // Nor may a button that has it from Tab keep it across a click on
        // another: Enter would then repeat that one.
        QWidget* focus = QApplication::focusWidget();
        if (focus && focus != this && focus->window() == window() && qobject_cast<QPushButton*>(focus))
            focus->clearFocus();
    }
    QPushButton::mousePressEvent(event);
}

void CCommandButtonWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        const bool wasPressed = m_bRightPressed;
        m_bRightPressed = false;
        event->accept();
        if (wasPressed && rect().contains(event->position().toPoint()))
            emit rightClicked();
        return;
    }
    QPushButton::mouseReleaseEvent(event);
}
