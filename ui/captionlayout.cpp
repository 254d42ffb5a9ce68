#include "ui/captionlayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLine>
#include <QTextOption>

#include <cmath>

namespace ui {

void CaptionLayout::draw(QPainter *painter, const QRect &rect, const QString &text,
    const QFont &font, const QPaintDevice *device)
{
    if (text.isEmpty()) {
        return;
    }
    shape(text, font, device);
    const QTextLine line = m_layout.lineAt(0);
    const bool fits
        = line.naturalTextWidth() <= rect.width() && m_top + line.height() <= rect.height();
    if (!fits) {
        painter->save();
        painter->setClipRect(rect, Qt::IntersectClip);
    }
    m_layout.draw(painter, QPointF(rect.topLeft()) + QPointF(0, m_top));
    if (!fits) {
        painter->restore();
    }
}

QRect CaptionLayout::changedArea(
    const QRect &rect, const QString &text, const QFont &font, const QPaintDevice *device)
{
    if (m_text.isEmpty() || text.isEmpty() || font != m_font) {
        shape(text, font, device);
        return rect;
    }
    qsizetype same = 0;
    while (same < text.size() && same < m_text.size() && text.at(same) == m_text.at(same)) {
        ++same;
    }
    // At a character boundary on both sides, the prefix laid out alike.
    const QTextLine before = m_layout.lineAt(0);
    const qreal fromBefore = before.cursorToX(int(same));
    const qreal widthBefore = before.naturalTextWidth();
    shape(text, font, device);
    const QTextLine after = m_layout.lineAt(0);
    const qreal fromAfter = after.cursorToX(int(same));
    if (std::abs(fromAfter - fromBefore) > 0.01) {
        return rect;
    }
    // Glyphs may reach a little beyond their advances: kerning, overhangs, the character before.
    const qreal slack = QFontMetricsF(QFont(font, device)).height() / 2;
    const int left = int(std::floor(fromAfter - slack));
    const int right = int(std::ceil(std::max(widthBefore, after.naturalTextWidth()) + slack));
    return QRect(rect.left() + left, rect.top(), right - left + 1, rect.height()).intersected(rect);
}

void CaptionLayout::shape(const QString &text, const QFont &font, const QPaintDevice *device)
{
    if (text == m_text && font == m_font && !m_text.isNull()) {
        return;
    }
    m_text = text;
    m_font = font;
    // As drawText lays out one line: line breaks become blanks, nothing wraps, and the line sits
    // one leading below the top, on a whole pixel.
    QString line = text;
    for (QChar &c : line) {
        if (c == QLatin1Char('\n') || c == QChar::LineSeparator) {
            c = QLatin1Char(' ');
        }
    }
    m_layout.setText(line);
    m_layout.setFont(QFont(font, device));
    m_layout.setCacheEnabled(true);
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    option.setWrapMode(QTextOption::ManualWrap);
    m_layout.setTextOption(option);
    m_layout.beginLayout();
    QTextLine first = m_layout.createLine();
    first.setLineWidth(0x01000000);
    m_layout.endLayout();
    m_top = std::ceil(std::max<qreal>(0, QFontMetricsF(QFont(font, device)).leading()));
}

} // namespace ui
