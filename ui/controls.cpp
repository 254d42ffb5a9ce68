#include "ui/controls.h"

#include "ui/combotext.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace ui {

SharpPicture::SharpPicture(const QPixmap &picture, const QString &path)
    : m_picture(picture)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    if (!picture.isNull() && dot > 0) {
        m_sharpPath = path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
    }
}

const QPixmap &SharpPicture::shownOn(const QWidget *widget) const
{
    if (widget->devicePixelRatioF() <= 1.0) {
        return m_picture;
    }
    if (!m_sharpPath.isEmpty()) {
        QPixmap sharp(m_sharpPath);
        if (sharp.size() == m_picture.size() * 2) {
            sharp.setDevicePixelRatio(2.0);
            m_sharp = sharp;
        }
        m_sharpPath.clear();
    }
    return m_sharp.isNull() ? m_picture : m_sharp;
}

Form::Form(QWidget *parent)
    : QWidget(parent)
{
}

void Form::setPicture(const SharpPicture &picture)
{
    m_picture = picture;
    update();
}

int Form::windowStateValue() const
{
    if (isMinimized()) {
        return 1;
    }
    return isMaximized() ? 2 : 0;
}

void Form::setWindowStateValue(int state)
{
    Qt::WindowStates s = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == 1) {
        s |= Qt::WindowMinimized;
    } else if (state == 2) {
        s |= Qt::WindowMaximized;
    }
    setWindowState(s);
}

void Form::paintEvent(QPaintEvent *event)
{
    if (picture().isNull()) {
        return;
    }
    // One rectangle of the region at a time: through a clip of one rectangle the picture is a
    // plain copy, while through a clip of several (the clock, the list's text and the strip
    // renewed in one wake-up) it is blended line by line, and the toolkit hands a hundred lines
    // and more to its worker threads, waking them each time.
    QPainter painter(this);
    const QPixmap &shown = m_picture.shownOn(this);
    for (const QRect &rect : event->region()) {
        painter.setClipRect(rect);
        painter.drawPixmap(0, 0, shown);
    }
}

void ClickableWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
    }
    event->accept();
}

void ClickableWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        return;
    }
    m_pressed = false;
    const bool secondClick = m_secondClick;
    m_secondClick = false;
    // The release that ends a double click raises no second Click.
    if (!secondClick && rect().contains(event->position().toPoint())) {
        emit Click();
    }
}

void ClickableWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    m_pressed = true;
    m_secondClick = true;
    emit DblClick();
}

Label::Label(QWidget *parent)
    : ClickableWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void Label::setCaption(const QString &caption)
{
    if (caption == m_caption) {
        return;
    }
    m_caption = caption;
    // The clock's caption changes in its last digits from one second to the next.
    update(m_layout.changedArea(rect(), m_caption, font(), this));
}

void Label::setOpaque(bool opaque, const QColor &backColour)
{
    m_opaque = opaque;
    m_backColour = backColour;
    update();
}

void Label::setTextColour(const QColor &colour)
{
    m_textColour = colour;
    update();
}

void Label::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_opaque) {
        painter.fillRect(rect(), m_backColour);
    }
    if (!m_caption.isEmpty()) {
        painter.setPen(
            m_textColour.isValid() ? m_textColour : palette().color(QPalette::WindowText));
        m_layout.draw(&painter, rect(), m_caption, font(), this);
    }
}

Image::Image(QWidget *parent)
    : ClickableWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void Image::setPicture(const SharpPicture &picture)
{
    m_picture = picture;
    update();
}

void Image::paintEvent(QPaintEvent *)
{
    if (!picture().isNull()) {
        QPainter painter(this);
        painter.drawPixmap(0, 0, m_picture.shownOn(this));
    }
}

namespace {

bool isReturnKey(QEvent *event)
{
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<QKeyEvent *>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The places an unmodified arrow key moves the selection by: -1 up, +1 down, 0 for other keys.
// With the list closed, Page Up and Page Down move one place too.
int stepOf(QEvent *event, bool listOpen)
{
    if (event->type() != QEvent::KeyPress) {
        return 0;
    }
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier)) {
        return 0;
    }
    switch (key->key()) {
    case Qt::Key_Up:
        return -1;
    case Qt::Key_Down:
        return 1;
    case Qt::Key_PageUp:
        return listOpen ? 0 : -1;
    case Qt::Key_PageDown:
        return listOpen ? 0 : 1;
    default:
        return 0;
    }
}

} // namespace

ComboBox::ComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setLineEdit(new ComboText(this));
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setFocusPolicy(Qt::StrongFocus);
    lineEdit()->installEventFilter(this);
    view()->installEventFilter(this);
    // What is left of the toolkit's activations is a pick in the dropped-down list (a click, or
    // Return on the highlighted item); the arrow keys go through stepSelection.
    connect(this, &QComboBox::activated, this, [this] { emit Click(); });
}

bool ComboBox::eventFilter(QObject *watched, QEvent *event)
{
    // Return in the text field would pick the item whose text was typed and raise Click: typing
    // never tunes, so the text field does not get it.
    if (watched == lineEdit() && isReturnKey(event)) {
        event->accept();
        return true;
    }
    // An arrow key in the dropped-down list selects, as it does with the list closed, instead of
    // only moving the highlight.
    if (watched == view()) {
        if (const int delta = stepOf(event, true)) {
            stepInOpenList(delta);
            event->accept();
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void ComboBox::keyPressEvent(QKeyEvent *event)
{
    if (isReturnKey(event)) {
        event->accept();
        return;
    }
    if (const int delta = stepOf(event, false)) {
        stepSelection(delta);
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void ComboBox::wheelEvent(QWheelEvent *event)
{
    // The wheel does not step the list: scrolling over the window must not tune.
    event->ignore();
}

bool ComboBox::stepSelection(int delta)
{
    const int index = currentIndex() + delta;
    if (delta == 0 || index < 0 || index >= count()) {
        return false;
    }
    setCurrentIndex(index);
    emit Click();
    return true;
}

void ComboBox::stepInOpenList(int delta)
{
    // The step starts at the highlighted item (the mouse may have moved it), and the highlight
    // follows the selection.
    const QModelIndex highlighted = view()->currentIndex();
    const int from = highlighted.isValid() ? highlighted.row() : currentIndex();
    const int to = from + delta;
    if (to < 0 || to >= count()) {
        return;
    }
    if (to != currentIndex()) {
        stepSelection(to - currentIndex());
    }
    view()->setCurrentIndex(model()->index(currentIndex(), modelColumn(), rootModelIndex()));
}

void ComboBox::setForeColour(platform::ColourValue colour)
{
    // The colour it already shows: nothing to draw again.
    if (colour == m_foreColour) {
        return;
    }
    m_foreColour = colour;
    // The text field alone: the list takes the colour when it drops down (showPopup), or at once
    // while it is down. A hidden list that took every colour would push a new palette through the
    // list and its scroll bars five times a second for nothing.
    if (auto *field = qobject_cast<ComboText *>(lineEdit())) {
        field->setTextColour(platform::toQColor(colour));
    }
    if (view() && view()->isVisible()) {
        applyListColours();
    }
}

void ComboBox::showPopup()
{
    applyListColours();
    QComboBox::showPopup();
}

void ComboBox::setBackColour(platform::ColourValue colour)
{
    m_backColour = colour;
    applyColours();
}

QPalette ComboBox::textPalette() const
{
    QPalette text = palette();
    const QColor fore = platform::toQColor(m_foreColour);
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        text.setColor(group, QPalette::Text, fore);
        text.setColor(group, QPalette::WindowText, fore);
        text.setColor(group, QPalette::ButtonText, fore);
    }
    return text;
}

void ComboBox::applyListColours()
{
    if (!view()) {
        return;
    }
    view()->setPalette(textPalette());
    // The list's scroll bars show no text, so they keep the box's palette, every role of it
    // their own, and a new text colour does not reach them: the style keys its cached drawing of
    // a scroll bar by the bar's palette as well, and a bar that took each new colour would leave
    // a new cached picture behind for every colour it was drawn in, each time the list is
    // dropped down while the colour cycles.
    QPalette bars = palette();
    bars.setResolveMask(~QPalette::ResolveMask(0));
    view()->verticalScrollBar()->setPalette(bars);
    view()->horizontalScrollBar()->setPalette(bars);
}

void ComboBox::applyColours()
{
    // The fore colour is the colour of the text, in the text field and in the dropped-down list;
    // the box itself (frame, button, arrow) keeps its own. It must: the style keys its cached
    // drawing of the box by the box's palette, so a palette that changed with every new text
    // colour would leave a new cached picture behind each time (the colour changes five times a
    // second, every one of them a new colour).
    const QColor back = platform::toQColor(m_backColour);
    QPalette box = palette();
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        box.setColor(group, QPalette::Base, back);
    }
    if (box != palette()) {
        setPalette(box);
    }
    if (auto *field = qobject_cast<ComboText *>(lineEdit())) {
        field->setPalette(textPalette());
        field->setTextColour(platform::toQColor(m_foreColour));
    }
    applyListColours();
}

} // namespace ui
