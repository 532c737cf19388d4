#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <cstdint>
#include <vector>

// A hex viewer and editor for an image buffer: address, hex and character
// columns, eight bytes per row, addresses counted from 0. It keeps its own
// copy of the data, so edits reach the owner's buffer only when the owner
// takes them back with GetData. Only the visible rows are painted, so a
// 128 KB buffer costs no more to show than a small one.
class CHexEdit : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int kBytesPerRow = 8;

    explicit CHexEdit(QWidget* parent = nullptr);
    ~CHexEdit() override;

    // Copies length bytes (at most capacity) and redraws. The caret and the
    // scroll position stay where they were when they still fit.
    void SetData(const std::uint8_t* data, int length, int capacity);
    // Copies the bytes held now into dest, at most capacity; returns the count.
    int GetData(std::uint8_t* dest, int capacity) const;
    int Length() const;
    const std::uint8_t* Data() const;

    // The byte the caret is on, and whether it edits the hex or the
    // character column.
    int CaretOffset() const { return m_nCaret; }
    bool CaretInCharColumn() const { return m_bCharColumn; }
    void SetCaretOffset(int offset, bool charColumn = false);
    // The address of the first row at least partly visible, and of the last.
    int FirstVisibleAddress() const;
    int LastVisibleAddress() const;
    // Scrolls so that the row holding offset is visible.
    void EnsureVisible(int offset);
    // The address as the address column shows it (upper-case hex, as many
    // digits as the largest address needs, at least four).
    QString AddressText(int offset) const;

    QSize sizeHint() const override;

signals:
    // The user changed a byte.
    void dataEdited();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    int RowCount() const;
    int AddressDigits() const;
    int VisibleRows() const;
    void UpdateScrollBars();
    void MoveCaret(int offset, bool keepNibble = false);
    void EditHexDigit(int value);
    void EditChar(char ch);
    // Left edges of the columns in pixels, for the current font.
    int HexColumnX() const;
    int CharColumnX() const;
    QRect CaretRect() const;
    void UpdateMetrics();
    int ContentWidth() const;
    // Blank cells between address and hex columns, and the outer margin:
    // fewer when the view is too narrow for the full layout.
    int AddressGap() const;
    int Margin() const;
    // Fits the columns into the viewport's width: first closer together,
    // then in a smaller font (down to three quarters of m_baseFont).
    void FitToWidth();

    std::vector<std::uint8_t> m_data;
    int m_nCaret = 0;
    bool m_bLowNibble = false;
    bool m_bCharColumn = false;
    int m_nCharWidth = 8;
    int m_nLineHeight = 16;
    int m_nAscent = 12;
    QFont m_baseFont;
    bool m_bCompact = false;
    bool m_bFitting = false;
};
