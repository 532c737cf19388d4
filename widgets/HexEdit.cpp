#include "widgets/HexEdit.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cstring>

namespace {

// Columns in character cells: address, two blanks (one when narrow), eight
// "XX " groups, one more blank, then the eight characters.
constexpr int kHexCellChars = 3;
constexpr int kCharGap = 1;
// The smallest font FitToWidth may choose, in quarters of the base size.
constexpr int kMinFontQuarters = 3;

const char kHexDigits[] = "0123456789ABCDEF";

bool IsPrintable(std::uint8_t byte)
{
    return byte >= 0x20 && byte < 0x7F;
}

int HexValue(QChar ch)
{
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

}  // namespace

CHexEdit::CHexEdit(QWidget* parent) : QAbstractScrollArea(parent)
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleHint(QFont::Monospace);
    setFont(fixed);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    // The whole viewport is painted on every paint event.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    UpdateMetrics();
}

CHexEdit::~CHexEdit() = default;

void CHexEdit::SetData(const std::uint8_t* data, int length, int capacity)
{
    int count = std::min(length, capacity);
    if (!data || count < 0)
        count = 0;
    if (std::size_t(count) == m_data.size()) {
        // memmove: the owner may hand back what Data() gave it.
        if (count > 0)
            std::memmove(m_data.data(), data, std::size_t(count));
    } else {
        m_data = std::vector<std::uint8_t>(data, data + count);
    }
    m_nCaret = std::clamp(m_nCaret, 0, std::max(count - 1, 0));
    m_bLowNibble = false;
    UpdateScrollBars();
    viewport()->update();
}

int CHexEdit::GetData(std::uint8_t* dest, int capacity) const
{
    if (!dest || capacity <= 0)
        return 0;
    const int count = std::min(Length(), capacity);
    if (count > 0)
        std::memmove(dest, m_data.data(), std::size_t(count));
    return count;
}

int CHexEdit::Length() const
{
    return int(m_data.size());
}

const std::uint8_t* CHexEdit::Data() const
{
    return m_data.data();
}

QString CHexEdit::AddressText(int offset) const
{
    const int digits = AddressDigits();
    QString text(digits, u'0');
    unsigned value = unsigned(offset);
    for (int i = digits - 1; i >= 0 && value; --i, value >>= 4)
        text[i] = QLatin1Char(kHexDigits[value & 0xF]);
    return text;
}

int CHexEdit::RowCount() const
{
    return (Length() + kBytesPerRow - 1) / kBytesPerRow;
}

int CHexEdit::AddressDigits() const
{
    int digits = 1;
    for (unsigned last = unsigned(std::max(Length() - 1, 0)) >> 4; last; last >>= 4)
        ++digits;
    return std::max(digits, 4);
}

int CHexEdit::VisibleRows() const
{
    return std::max(viewport()->height() / m_nLineHeight, 1);
}

int CHexEdit::HexColumnX() const
{
    return Margin() + (AddressDigits() + AddressGap()) * m_nCharWidth;
}

int CHexEdit::CharColumnX() const
{
    return HexColumnX() + (kBytesPerRow * kHexCellChars + kCharGap) * m_nCharWidth;
}

int CHexEdit::ContentWidth() const
{
    return CharColumnX() + kBytesPerRow * m_nCharWidth + Margin();
}

int CHexEdit::AddressGap() const
{
    return m_bCompact ? 1 : 2;
}

int CHexEdit::Margin() const
{
    return m_bCompact ? 2 : 4;
}

void CHexEdit::FitToWidth()
{
    // A view placed in a fixed page (the main window's) cannot grow: the
    // character column must not end under the scroll bar.
    if (m_bFitting)
        return;
    m_bFitting = true;
    const int available = viewport()->width();
    const auto measure = [this](const QFont& candidate) {
        const QFontMetrics fm(candidate);
        m_nCharWidth = std::max(fm.horizontalAdvance(QLatin1Char('0')), 1);
        m_nLineHeight = std::max(fm.height(), 1);
        m_nAscent = fm.ascent();
    };
    QFont chosen = m_baseFont;
    m_bCompact = false;
    measure(chosen);
    if (ContentWidth() > available)
        m_bCompact = true;
    const qreal base = m_baseFont.pointSizeF();
    if (base > 0) {
        for (qreal size = base - 0.5;
             ContentWidth() > available && size >= base * kMinFontQuarters / 4; size -= 0.5) {
            chosen.setPointSizeF(size);
            measure(chosen);
        }
    }
    if (chosen != font())
        setFont(chosen); // FontChange, taken as our own while m_bFitting
    m_bFitting = false;
}

int CHexEdit::FirstVisibleAddress() const
{
    if (RowCount() == 0)
        return 0;
    const int row = std::min(verticalScrollBar()->value() / m_nLineHeight, RowCount() - 1);
    return row * kBytesPerRow;
}

int CHexEdit::LastVisibleAddress() const
{
    if (RowCount() == 0)
        return 0;
    const int bottom = verticalScrollBar()->value() + std::max(viewport()->height(), 1) - 1;
    const int row = std::min(bottom / m_nLineHeight, RowCount() - 1);
    return row * kBytesPerRow;
}

QSize CHexEdit::sizeHint() const
{
    // The full layout in the base font, not what a narrow view fitted.
    const QFontMetrics fm(m_baseFont);
    const int charWidth = std::max(fm.horizontalAdvance(QLatin1Char('0')), 1);
    const int cells = AddressDigits() + 2 + kBytesPerRow * kHexCellChars + kCharGap + kBytesPerRow;
    const int width = 2 * 4 + cells * charWidth + verticalScrollBar()->sizeHint().width() +
                      2 * frameWidth();
    return QSize(width, 16 * std::max(fm.height(), 1) + 2 * frameWidth());
}

void CHexEdit::UpdateMetrics()
{
    const QFontMetrics fm(font());
    m_nCharWidth = std::max(fm.horizontalAdvance(QLatin1Char('0')), 1);
    m_nLineHeight = std::max(fm.height(), 1);
    m_nAscent = fm.ascent();
    UpdateScrollBars();
}

void CHexEdit::UpdateScrollBars()
{
    FitToWidth();
    // Pixel ranges, so the view scrolls smoothly under a touchpad; the wheel
    // and the arrows still step a row at a time.
    const int contentHeight = RowCount() * m_nLineHeight;
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(contentHeight - viewport()->height(), 0));
    v->setPageStep(std::max(viewport()->height(), 1));
    v->setSingleStep(m_nLineHeight);

    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(ContentWidth() - viewport()->width(), 0));
    h->setPageStep(std::max(viewport()->width(), 1));
    h->setSingleStep(m_nCharWidth);
}

void CHexEdit::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CHexEdit::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        // A font set from outside is the one to fit from.
        if (!m_bFitting)
            m_baseFont = font();
        UpdateMetrics();
        viewport()->update();
    }
}

void CHexEdit::scrollContentsBy(int, int)
{
    viewport()->update();
}

QRect CHexEdit::CaretRect() const
{
    const int row = m_nCaret / kBytesPerRow;
    const int col = m_nCaret % kBytesPerRow;
    const int y = row * m_nLineHeight - verticalScrollBar()->value();
    const int x0 = -horizontalScrollBar()->value();
    if (m_bCharColumn)
        return QRect(x0 + CharColumnX() + col * m_nCharWidth, y, m_nCharWidth, m_nLineHeight);
    const int nibble = m_bLowNibble ? 1 : 0;
    return QRect(x0 + HexColumnX() + (col * kHexCellChars + nibble) * m_nCharWidth, y,
                 m_nCharWidth, m_nLineHeight);
}

void CHexEdit::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QPalette& pal = palette();
    painter.fillRect(event->rect(), pal.color(QPalette::Base));
    painter.setFont(font());

    const int rows = RowCount();
    if (rows == 0)
        return;
    const int yOffset = verticalScrollBar()->value();
    const int x0 = -horizontalScrollBar()->value();
    const int firstRow = std::max(event->rect().top() + yOffset, 0) / m_nLineHeight;
    const int lastRow = std::min((event->rect().bottom() + yOffset) / m_nLineHeight, rows - 1);

    const QColor addressColour = pal.color(QPalette::Disabled, QPalette::Text);
    const QColor textColour = pal.color(QPalette::Text);
    const int hexX = x0 + HexColumnX();
    const int charX = x0 + CharColumnX();

    // The caret's byte, marked in the other column too.
    if (!m_data.empty()) {
        const QRect caret = CaretRect();
        const int col = m_nCaret % kBytesPerRow;
        QRect twin = m_bCharColumn
            ? QRect(hexX + col * kHexCellChars * m_nCharWidth, caret.top(), 2 * m_nCharWidth,
                    m_nLineHeight)
            : QRect(charX + col * m_nCharWidth, caret.top(), m_nCharWidth, m_nLineHeight);
        QColor twinColour = pal.color(QPalette::Highlight);
        twinColour.setAlpha(60);
        painter.fillRect(twin, twinColour);
        if (hasFocus())
            painter.fillRect(caret, pal.color(QPalette::Highlight));
        else
            painter.fillRect(caret, twinColour);
    }

    QString hex(kBytesPerRow * kHexCellChars, u' ');
    QString chars(kBytesPerRow, u' ');
    const int caretRow = m_nCaret / kBytesPerRow;
    for (int row = firstRow; row <= lastRow; ++row) {
        const int baseline = row * m_nLineHeight - yOffset + m_nAscent;
        const int start = row * kBytesPerRow;
        const int count = std::min(kBytesPerRow, Length() - start);
        for (int i = 0; i < kBytesPerRow; ++i) {
            if (i < count) {
                const std::uint8_t byte = m_data[std::size_t(start + i)];
                hex[i * kHexCellChars] = QLatin1Char(kHexDigits[byte >> 4]);
                hex[i * kHexCellChars + 1] = QLatin1Char(kHexDigits[byte & 0xF]);
                chars[i] = IsPrintable(byte) ? QLatin1Char(char(byte)) : QLatin1Char('.');
            } else {
                hex[i * kHexCellChars] = hex[i * kHexCellChars + 1] = u' ';
                chars[i] = u' ';
            }
        }
        painter.setPen(addressColour);
        painter.drawText(x0 + Margin(), baseline, AddressText(start));
        painter.setPen(textColour);
        if (row == caretRow && hasFocus()) {
            // Drawn cell by cell so the caret's cell can take the
            // highlighted text colour.
            for (int i = 0; i < kBytesPerRow * kHexCellChars; ++i) {
                const QRect caret = CaretRect();
                const int x = hexX + i * m_nCharWidth;
                painter.setPen(!m_bCharColumn && x == caret.left()
                                   ? pal.color(QPalette::HighlightedText) : textColour);
                painter.drawText(x, baseline, QString(hex[i]));
            }
            for (int i = 0; i < kBytesPerRow; ++i) {
                const int x = charX + i * m_nCharWidth;
                painter.setPen(m_bCharColumn && x == CaretRect().left()
                                   ? pal.color(QPalette::HighlightedText) : textColour);
                painter.drawText(x, baseline, QString(chars[i]));
            }
        } else {
            painter.drawText(hexX, baseline, hex);
            painter.drawText(charX, baseline, chars);
        }
    }
}

void CHexEdit::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void CHexEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void CHexEdit::EnsureVisible(int offset)
{
    if (RowCount() == 0)
        return;
    const int row = std::clamp(offset, 0, Length() - 1) / kBytesPerRow;
    const int top = row * m_nLineHeight;
    QScrollBar* v = verticalScrollBar();
    if (top < v->value())
        v->setValue(top);
    else if (top + m_nLineHeight > v->value() + viewport()->height())
        v->setValue(top + m_nLineHeight - viewport()->height());
}

void CHexEdit::SetCaretOffset(int offset, bool charColumn)
{
    m_bCharColumn = charColumn;
    MoveCaret(offset);
}

void CHexEdit::MoveCaret(int offset, bool keepNibble)
{
    if (m_data.empty()) {
        m_nCaret = 0;
        m_bLowNibble = false;
        viewport()->update();
        return;
    }
    m_nCaret = std::clamp(offset, 0, Length() - 1);
    if (!keepNibble)
        m_bLowNibble = false;
    EnsureVisible(m_nCaret);
    viewport()->update();
}

void CHexEdit::EditHexDigit(int value)
{
    std::uint8_t& byte = m_data[std::size_t(m_nCaret)];
    if (m_bLowNibble)
        byte = std::uint8_t((byte & 0xF0) | value);
    else
        byte = std::uint8_t((byte & 0x0F) | (value << 4));
    if (!m_bLowNibble) {
        m_bLowNibble = true;
        MoveCaret(m_nCaret, true);
    } else if (m_nCaret + 1 < Length()) {
        MoveCaret(m_nCaret + 1);
    } else {
        // The last byte: the caret stays on its low nibble.
        viewport()->update();
    }
    emit dataEdited();
}

void CHexEdit::EditChar(char ch)
{
    m_data[std::size_t(m_nCaret)] = std::uint8_t(ch);
    MoveCaret(m_nCaret + 1);
    emit dataEdited();
}

bool CHexEdit::event(QEvent* event)
{
    // Tab switches between the hex and the character column, as in a text
    // editor that takes tabs; Ctrl+Tab still moves the focus on.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && !m_data.empty()) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void CHexEdit::keyPressEvent(QKeyEvent* event)
{
    if (m_data.empty()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int page = VisibleRows() * kBytesPerRow;
    const int rowStart = m_nCaret - m_nCaret % kBytesPerRow;
    switch (event->key()) {
    case Qt::Key_Left:
        if (!m_bCharColumn && m_bLowNibble)
            MoveCaret(m_nCaret);
        else
            MoveCaret(m_nCaret - 1);
        return;
    case Qt::Key_Right:
        MoveCaret(m_nCaret + 1);
        return;
    case Qt::Key_Up:
        MoveCaret(m_nCaret - kBytesPerRow);
        return;
    case Qt::Key_Down:
        MoveCaret(m_nCaret + kBytesPerRow);
        return;
    case Qt::Key_PageUp:
        verticalScrollBar()->setValue(verticalScrollBar()->value() - viewport()->height());
        MoveCaret(m_nCaret - page);
        return;
    case Qt::Key_PageDown:
        verticalScrollBar()->setValue(verticalScrollBar()->value() + viewport()->height());
        MoveCaret(m_nCaret + page);
        return;
    case Qt::Key_Home:
        MoveCaret(ctrl ? 0 : rowStart);
        return;
    case Qt::Key_End:
        MoveCaret(ctrl ? Length() - 1 : rowStart + kBytesPerRow - 1);
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        m_bCharColumn = !m_bCharColumn;
        MoveCaret(m_nCaret);
        return;
    default:
        break;
    }

    const QString text = event->text();
    if (text.size() == 1 && !ctrl && !(event->modifiers() & Qt::AltModifier)) {
        const QChar ch = text.front();
        if (m_bCharColumn) {
            if (ch.unicode() >= 0x20 && ch.unicode() < 0x7F) {
                EditChar(char(ch.unicode()));
                return;
            }
        } else if (const int value = HexValue(ch); value >= 0) {
            EditHexDigit(value);
            return;
        }
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CHexEdit::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_data.empty()) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const int x = pos.x() + horizontalScrollBar()->value();
    const int row = (pos.y() + verticalScrollBar()->value()) / m_nLineHeight;
    const int rowStart = std::clamp(row, 0, RowCount() - 1) * kBytesPerRow;

    const int charX = CharColumnX();
    const int hexX = HexColumnX();
    if (x >= charX - m_nCharWidth / 2) {
        const int col = std::clamp((x - charX) / m_nCharWidth, 0, kBytesPerRow - 1);
        m_bCharColumn = true;
        MoveCaret(rowStart + col);
        return;
    }
    const int cell = std::max(x - hexX, 0) / m_nCharWidth;
    const int col = std::clamp(cell / kHexCellChars, 0, kBytesPerRow - 1);
    m_bCharColumn = false;
    MoveCaret(rowStart + col);
    if (cell % kHexCellChars == 1 && cell / kHexCellChars < kBytesPerRow) {
        m_bLowNibble = true;
        viewport()->update();
    }
}
