#pragma once

#include "platform/colour.h"
#include "ui/captionlayout.h"

#include <QComboBox>
#include <QPixmap>
#include <QWidget>

namespace ui {

// A picture and, where there is one, the same picture drawn at twice the size beside it (its
// file name ends in "@2x"), shown instead on screens of a device pixel ratio above 1. The larger
// one is four times the memory and most screens never need it: it is read at its first showing.
class SharpPicture
{
public:
    SharpPicture() = default;
    SharpPicture(const QPixmap &picture, const QString &path);

    const QPixmap &picture() const { return m_picture; }
    const QPixmap &shownOn(const QWidget *widget) const;

private:
    QPixmap m_picture;
    mutable QString m_sharpPath; // empty once read, or where there is none
    mutable QPixmap m_sharp;
};

// The controls a window description can hold, with the properties and events that handlers
// reach by name.

// A top-level window with a background picture drawn at its client origin at its own size.
class Form : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ windowTitle WRITE setWindowTitle)
    Q_PROPERTY(int WindowState READ windowStateValue WRITE setWindowStateValue)

public:
    explicit Form(QWidget *parent = nullptr);

    void setPicture(const SharpPicture &picture);
    const QPixmap &picture() const { return m_picture.picture(); }

    // 0 normal, 1 minimised, 2 maximised.
    int windowStateValue() const;
    void setWindowStateValue(int state);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SharpPicture m_picture;
};

// Raises Click on a single click and DblClick on a double click with the left button.
class ClickableWidget : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

signals:
    void Click();
    void DblClick();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
    bool m_secondClick = false;
};

// A label: its caption drawn left-aligned at the top; opaque labels fill their back colour,
// transparent ones draw only their text but still own their whole rectangle for the mouse.
class Label : public ClickableWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)

public:
    explicit Label(QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    // Writing the text the label already shows costs nothing: no repaint is scheduled.
    void setCaption(const QString &caption);

    void setOpaque(bool opaque, const QColor &backColour);
    void setTextColour(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
    CaptionLayout m_layout;
    bool m_opaque = false;
    QColor m_backColour;
    QColor m_textColour;
};

// A picture shown at its own pixel size, neither stretched nor framed.
class Image : public ClickableWidget
{
    Q_OBJECT

public:
    explicit Image(QWidget *parent = nullptr);

    void setPicture(const SharpPicture &picture);
    const QPixmap &picture() const { return m_picture.picture(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SharpPicture m_picture;
};

// An editable drop-down list. Click is raised on every change of the selected item by a pick in
// the dropped-down list or a step with the arrow keys, with the list closed or open (also when the
// same item is picked again); never by typing, whatever follows the typing (Return, Tab, a click
// elsewhere, another window).
class ComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setText)
    Q_PROPERTY(quint32 ForeColor READ foreColour WRITE setForeColour)
    Q_PROPERTY(quint32 BackColor READ backColour WRITE setBackColour)

public:
    explicit ComboBox(QWidget *parent = nullptr);

    QString text() const { return currentText(); }
    void setText(const QString &text) { setEditText(text); }

    platform::ColourValue foreColour() const { return m_foreColour; }
    // Writing the colour the text already has costs nothing: no repaint is scheduled.
    void setForeColour(platform::ColourValue colour);
    platform::ColourValue backColour() const { return m_backColour; }
    void setBackColour(platform::ColourValue colour);

    // Moves the selected item by `delta` places, as an arrow key does, and raises Click when the
    // selection moved; at either end of the list nothing happens. Returns whether it moved.
    bool stepSelection(int delta);

    // The list takes the text colour as it drops down.
    void showPopup() override;

signals:
    void Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void stepInOpenList(int delta);
    void applyColours();
    void applyListColours();
    QPalette textPalette() const;

    platform::ColourValue m_foreColour = platform::systemColour(platform::SystemColour::WindowText);
    platform::ColourValue m_backColour = platform::systemColour(platform::SystemColour::Window);
};

} // namespace ui
