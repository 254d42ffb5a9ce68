#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QTextLayout>

class QPainter;
class QPaintDevice;

namespace ui {

// A single line of text laid out once and drawn as QPainter::drawText draws it left- and
// top-aligned on one line: the clock's caption changes once a second and is drawn again each
// time anything beneath it is, and drawText would shape it anew for every draw.
class CaptionLayout
{
public:
    // Draws `text` in `font` with the painter's pen at the top left of `rect`, clipped to it
    // where it does not fit. The same text and font as last time reuse the shaped line.
    void draw(QPainter *painter, const QRect &rect, const QString &text, const QFont &font,
        const QPaintDevice *device);

    // Where drawing `text` instead of the text drawn last changes pixels, within `rect`: from a
    // little before the first character that differs to a little past the longer of the two.
    // The whole of `rect` when the last text was drawn otherwise (another font, nothing yet)
    // or the characters before the change moved. Shapes `text` for its draw.
    QRect changedArea(
        const QRect &rect, const QString &text, const QFont &font, const QPaintDevice *device);

private:
    void shape(const QString &text, const QFont &font, const QPaintDevice *device);

    QTextLayout m_layout;
    QString m_text;
    QFont m_font;
    qreal m_top = 0;
};

} // namespace ui
