#pragma once

#include <QColor>
#include <QPushButton>

#include <cstdint>

class CCommandButton;

// The window's face of a command button: shows what a CCommandButton model
// says (caption, plain or marked, the icon of its state, the face colour)
// and reports the right mouse button, which marks the button for Auto.
class CCommandButtonWidget : public QPushButton {
    Q_OBJECT

public:
    static constexpr int kIconSize = 32;

    explicit CCommandButtonWidget(QWidget* parent = nullptr);

    // Shows the model's caption, current icon and face. A model set up
    // without a face colour takes this widget's own face as its base.
    void Apply(const CCommandButton& model);

    // The face the style gives this button, as a Windows colour value
    // (0x00BBGGRR), for setting up a model.
    std::uint32_t BaseFaceColour() const { return m_crBaseFace; }
    // The face shown now.
    QColor FaceColour() const;
    // The icon id shown now; 0 = none.
    int IconId() const { return m_nIconId; }
    // Caption next to the icon on the left (the operation buttons), or
    // centred (the small push buttons).
    void SetTextLeft(bool left);
    bool IsTextLeft() const { return m_bTextLeft; }

    static QColor ColourFromColorRef(std::uint32_t colorRef);
    static std::uint32_t ColorRefFromColour(const QColor& colour);
    // The resource path of an icon id, or empty when the id has none.
    static QString IconPath(int iconId);
    static bool IsTextLeftCommand(int id);

    QSize sizeHint() const override;
    // The width the caption is drawn in, beside the icon; a longer caption
    // is cut short with "...".
    int CaptionWidth() const;

signals:
    void rightClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetFace(std::uint32_t colorRef);

    std::uint32_t m_crBaseFace = 0;
    std::uint32_t m_crFace = 0;
    int m_nIconId = 0;
    bool m_bTextLeft = false;
    bool m_bRightPressed = false;
};
