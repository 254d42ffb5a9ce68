#include "ui/combotext.h"

#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextLine>

namespace ui {

namespace {

// The line edit's own margins around its text line (QLineEditPrivate's).
constexpr int horizontalMargin = 2;

} // namespace

ComboText::ComboText(QWidget *parent)
    : QLineEdit(parent)
    , m_colour(palette().color(QPalette::Text))
{
    // Leaving rest, the line edit draws again, from the palette.
    connect(this, &QLineEdit::selectionChanged, this, &ComboText::syncPalette);
    connect(this, &QLineEdit::textChanged, this, &ComboText::syncPalette);
}

void ComboText::setTextColour(const QColor &colour)
{
    if (colour == m_colour) {
        return;
    }
    m_colour = colour;
    if (!isAtRest()) {
        syncPalette();
    } else if (m_textArea.isEmpty()) {
        update();
    } else {
        // The field covers its stretch for this one repaint: the toolkit need not draw the list
        // and the window's picture beneath it first.
        setAttribute(Qt::WA_OpaquePaintEvent);
        update(m_textArea);
    }
}

void ComboText::syncPalette()
{
    if (isAtRest() || palette().color(QPalette::Text) == m_colour) {
        return;
    }
    QPalette text = palette();
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        text.setColor(group, QPalette::Text, m_colour);
    }
    setPalette(text);
}

bool ComboText::event(QEvent *event)
{
    const bool done = QLineEdit::event(event);
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::WindowActivate:
    case QEvent::EnabledChange:
        syncPalette();
        break;
    default:
        break;
    }
    return done;
}

void ComboText::focusOutEvent(QFocusEvent *event)
{
    const QSignalBlocker quiet(this);
    QLineEdit::focusOutEvent(event);
}

bool ComboText::isAtRest() const
{
    return !(hasFocus() && isActiveWindow()) && !hasSelectedText() && !text().isEmpty()
        && isEnabled() && echoMode() == QLineEdit::Normal && inputMask().isEmpty()
        && alignment() == (Qt::AlignLeft | Qt::AlignVCenter)
        && layoutDirection() == Qt::LeftToRight;
}

void ComboText::shapeText()
{
    if (text() == m_shapedText && font() == m_shapedFont) {
        return;
    }
    m_shapedText = text();
    m_shapedFont = font();
    // As the line edit lays out its text.
    m_layout.setText(m_shapedText);
    m_layout.setFont(m_shapedFont);
    m_layout.setCacheEnabled(true);
    QTextOption option = m_layout.textOption();
    option.setTextDirection(Qt::LeftToRight);
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    m_layout.setTextOption(option);
    m_layout.beginLayout();
    m_layout.createLine();
    m_layout.endLayout();
    const QFontMetrics metrics(m_shapedFont);
    m_lineHeight = std::max(metrics.boundingRect(m_shapedText).height(), metrics.height());
}

std::optional<QPoint> ComboText::restingOrigin() const
{
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    const QRect contents = style()
                               ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                               .marginsRemoved(textMargins());
    const QRect line(contents.x() + horizontalMargin,
        contents.y() + (contents.height() - m_lineHeight + 1) / 2,
        contents.width() - 2 * horizontalMargin, m_lineHeight);
    const QTextLine textLine = m_layout.lineAt(0);
    // Wider than the field: the line edit scrolls it by where the cursor is.
    if (qRound(textLine.naturalTextWidth()) + 1 > line.width()) {
        return std::nullopt;
    }
    const QFontMetrics metrics(m_shapedFont);
    // The baseline where the line edit keeps it, whatever fonts the text falls back to.
    return line.topLeft() - QPoint(0, qRound(textLine.ascent()) - metrics.ascent());
}

void ComboText::paintEvent(QPaintEvent *event)
{
    // Covering for the colour's repaint only: the field's panel fills it with the base colour, as
    // the list does beneath it, but need not be opaque in every state (being edited, focused), so
    // any other repaint has the list drawn beneath as usual.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    if (!isAtRest()) {
        m_textArea = {};
        syncPalette();
        QLineEdit::paintEvent(event);
        return;
    }
    shapeText();
    const std::optional<QPoint> origin = restingOrigin();
    if (!origin) {
        m_textArea = {};
        syncPalette();
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    painter.setPen(m_colour);
    m_layout.draw(&painter, *origin);
    m_textArea = inkArea(*origin);
}

QRect ComboText::inkArea(QPoint origin) const
{
    // The blanks around the text (the list's caption is indented with them) show no colour.
    qsizetype first = 0;
    qsizetype last = m_shapedText.size();
    while (first < last && m_shapedText.at(first).isSpace()) {
        ++first;
    }
    while (last > first && m_shapedText.at(last - 1).isSpace()) {
        --last;
    }
    const QTextLine line = m_layout.lineAt(0);
    const qreal from = line.cursorToX(int(first));
    const qreal to = line.cursorToX(int(last));
    // The glyphs may reach a little beyond their advances and the line's height.
    const int slack = QFontMetrics(m_shapedFont).height() / 2;
    const QRect area(QPoint(origin.x() + int(from) - slack, origin.y() - 2),
        QPoint(origin.x() + int(to) + slack, origin.y() + m_lineHeight + 2));
    return area.intersected(rect());
}

} // namespace ui
