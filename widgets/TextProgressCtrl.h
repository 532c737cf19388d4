#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// A progress bar that paints itself completely: the done part in one colour,
// the rest in another, and a centred line of text over both, drawn in two
// colours so each half stays readable over the colour beneath it. The text
// is the owner's caption, or the percentage when there is none.
class CTextProgressCtrl : public QWidget {
    Q_OBJECT

public:
    explicit CTextProgressCtrl(QWidget* parent = nullptr);

    void SetRange(int lo, int hi);
    // Stores the position and returns the previous one. Repaints at once,
    // but only when the bar moves by at least a pixel.
    int SetPos(int pos);
    int GetPos() const { return m_nPos; }
    // The caption; empty shows the percentage.
    void SetText(const QString& text);
    QString Text() const { return m_strText; }
    // What is drawn now: the caption, or the percentage as "%d%%".
    QString DisplayedText() const;
    void SetShowText(bool show);

    // The width of the done part as painted now, within the client area.
    int BarWidthPixels() const;
    // How many repaints the control has asked for since construction.
    int RepaintCount() const { return m_nRepaintCount; }

    QColor BarColour() const { return m_crBar; }
    QColor BackgroundColour() const { return m_crBk; }
    QColor TextOnBarColour() const { return m_crTextOnBar; }
    QColor TextOnBackgroundColour() const { return m_crTextOnBk; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double Fraction() const;
    // Unclamped: positions outside the range give widths beyond the client.
    int BarWidthFor(int width) const;

    int m_nPos = 0;
    int m_nMax = 100;
    int m_nMin = 0;
    QString m_strText;
    bool m_bShowText = true;
    int m_nBarWidth = -1;
    QColor m_crBar;
    QColor m_crBk;
    QColor m_crTextOnBk;
    QColor m_crTextOnBar;
    int m_nRepaintCount = 0;
};
