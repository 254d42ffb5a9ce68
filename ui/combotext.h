#pragma once

#include <QColor>
#include <QLineEdit>
#include <QRect>
#include <QTextLayout>

#include <optional>

namespace ui {

// The text field of the station list (ComboBox).
//
// When it loses the focus (Tab, a click elsewhere, another window, the list dropping down) the
// toolkit would pick the item whose text was typed and raise its activation: typing never
// picks, so leaving the field is quiet.
//
// Its text colour changes five times a second. At rest (not being edited in the active window,
// nothing selected, the whole text in view, left-aligned) the field draws the text itself, as
// the line edit would, from a layout shaped once for each text, and a new colour repaints only
// the text's stretch of the field: the line edit would take a new palette, repaint the whole
// field and shape its text again for each colour. Otherwise the line edit draws, with the colour
// in its palette.
class ComboText : public QLineEdit
{
    Q_OBJECT

public:
    explicit ComboText(QWidget *parent = nullptr);

    QColor textColour() const { return m_colour; }
    // The same colour again costs nothing.
    void setTextColour(const QColor &colour);

protected:
    bool event(QEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool isAtRest() const;
    void syncPalette();
    void shapeText();
    // Where the line edit puts the text's layout at rest; none where it would scroll it.
    std::optional<QPoint> restingOrigin() const;
    // Where the glyphs of the text drawn from `origin` can put colour.
    QRect inkArea(QPoint origin) const;

    QColor m_colour;
    QTextLayout m_layout;
    QString m_shapedText;
    QFont m_shapedFont;
    int m_lineHeight = 0; // of the shaped text, as the line edit measures it
    QRect m_textArea; // the stretch of the field the text was drawn in at rest
};

} // namespace ui
