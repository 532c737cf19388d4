#include "widgets/TextProgressCtrl.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/UiText.h"

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QWidget(parent)
{
    // Read once: the bar keeps the colours it was built with.
    const QPalette pal = palette();
    m_crBar = pal.color(QPalette::Active, QPalette::Highlight);
    m_crBk = pal.color(QPalette::Active, QPalette::Base);
    m_crTextOnBk = m_crBar;
    m_crTextOnBar = m_crBk;

    // Every pixel is painted in paintEvent and composed in Qt's backing
    // store before it reaches the screen: no background erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CTextProgressCtrl::SetRange(int lo, int hi)
{
    if (lo == m_nMin && hi == m_nMax)
        return;
    m_nMin = lo;
    m_nMax = hi;
    m_nBarWidth = -1;
    ++m_nRepaintCount;
    update();
}

double CTextProgressCtrl::Fraction() const
{
    // An empty range would divide by zero: show it as an empty bar.
    if (m_nMax == m_nMin)
        return 0.0;
    return (double(m_nPos) - double(m_nMin)) / (double(m_nMax) - double(m_nMin));
}

int CTextProgressCtrl::BarWidthFor(int width) const
{
    const double w = std::trunc(Fraction() * double(width));
    // Far-out positions must not overflow the integer width.
    constexpr double kLimit = double(std::numeric_limits<int>::max() / 2);
    return int(std::clamp(w, -kLimit, kLimit));
}

int CTextProgressCtrl::BarWidthPixels() const
{
    return std::clamp(BarWidthFor(width()), 0, width());
}

int CTextProgressCtrl::SetPos(int pos)
{
    const int old = m_nPos;
    m_nPos = pos;
    const int barWidth = BarWidthFor(width());
    if (barWidth != m_nBarWidth) {
        m_nBarWidth = barWidth;
        ++m_nRepaintCount;
        repaint();
    }
    return old;
}

void CTextProgressCtrl::SetText(const QString& text)
{
    if (text == m_strText)
        return;
    m_strText = text;
    // A new caption is shown at the next paint; asking for it here keeps
    // the text current while the bar stands still. Qt folds it into one
    // paint with any bar movement that follows.
    if (m_bShowText) {
        ++m_nRepaintCount;
        update();
    }
}

void CTextProgressCtrl::SetShowText(bool show)
{
    if (show == m_bShowText)
        return;
    m_bShowText = show;
    ++m_nRepaintCount;
    update();
}

QString CTextProgressCtrl::DisplayedText() const
{
    if (!m_bShowText)
        return QString();
    if (!m_strText.isEmpty())
        return m_strText;
    const double percent = std::trunc(Fraction() * 100.0);
    constexpr double kLimit = double(std::numeric_limits<int>::max());
    return QString::asprintf("%d%%", int(std::clamp(percent, -kLimit, kLimit)));
}

QSize CTextProgressCtrl::sizeHint() const
{
    const QFontMetrics fm(font());
    // Room for the session's progress text, in the interface's language.
    const QString sample = QString::asprintf(Tr("正在写:%04X/%04X"), 0u, 0u);
    return QSize(fm.horizontalAdvance(sample) + 16, fm.height() + 10);
}

void CTextProgressCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The next SetPos repaints whatever the width works out to.
    m_nBarWidth = -1;
}

void CTextProgressCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect client = rect();
    const int barWidth = BarWidthPixels();
    const QRect bar(client.left(), client.top(), barWidth, client.height());
    const QRect rest(client.left() + barWidth, client.top(), client.width() - barWidth,
                     client.height());

    painter.fillRect(bar, m_crBar);
    painter.fillRect(rest, m_crBk);

    const QString text = DisplayedText();
    if (text.isEmpty())
        return;
    // The same text twice, each time clipped to one part, in the colour that
    // stands out against that part.
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    if (!bar.isEmpty()) {
        painter.setClipRect(bar);
        painter.setPen(m_crTextOnBar);
        painter.drawText(client, flags, text);
    }
    if (!rest.isEmpty()) {
        painter.setClipRect(rest);
        painter.setPen(m_crTextOnBk);
        painter.drawText(client, flags, text);
    }
}
