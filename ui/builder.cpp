#include "ui/builder.h"

#include "ui/accessibility.h"
#include "ui/controls.h"
#include "ui/timercontrol.h"

#include "platform/components.h"
#include "platform/twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

QRect pixelRect(const ControlDescription &c)
{
    using platform::twipsToPixels;
    return QRect(twipsToPixels(c.left), twipsToPixels(c.top), twipsToPixels(c.width),
        twipsToPixels(c.height));
}

QPixmap loadPicture(const QString &path)
{
    QPixmap picture(path);
    if (picture.isNull()) {
        qWarning("picture %s could not be loaded", qPrintable(path));
    }
    return picture;
}

QWidget *buildLabel(const ControlDescription &c, QWidget *form)
{
    auto *label = new Label(form);
    if (c.font) {
        label->setFont(toQFont(*c.font));
    }
    if (c.foreColour) {
        label->setTextColour(platform::toQColor(*c.foreColour));
    }
    const QColor back = c.backColour ? platform::toQColor(*c.backColour)
                                     : label->palette().color(QPalette::Window);
    label->setOpaque(c.opaque, back);
    label->setCaption(c.caption);
    label->setGeometry(pixelRect(c));
    return label;
}

QWidget *buildImage(const ControlDescription &c, QWidget *form)
{
    auto *image = new Image(form);
    const QPixmap picture = loadPicture(c.picture);
    image->setPicture(SharpPicture(picture, c.picture));
    // The control takes its picture's size.
    const QRect r = pixelRect(c);
    const QSize size = image->picture().isNull() ? r.size() : image->picture().size();
    image->setGeometry(QRect(r.topLeft(), size));
    return image;
}

QWidget *buildComboBox(const ControlDescription &c, QWidget *form)
{
    auto *combo = new ComboBox(form);
    if (c.font) {
        combo->setFont(toQFont(*c.font));
    }
    combo->addItems(c.items);
    combo->setCurrentIndex(-1);
    combo->setEditText(c.text);
    combo->setMaxVisibleItems(12);
    if (c.backColour) {
        combo->setBackColour(*c.backColour);
    }
    if (c.foreColour) {
        combo->setForeColour(*c.foreColour);
    }
    combo->setGeometry(pixelRect(c));
    return combo;
}

// The icon of a window that has none. An empty icon would make the toolkit show the
// application's instead, so it is a fully transparent one.
QIcon noIcon()
{
    QPixmap clear(32, 32);
    clear.fill(Qt::transparent);
    return QIcon(clear);
}

void placeAtScreenCentre(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect available = screen->availableGeometry();
    // The frame's sizes are the window manager's and are not known before the window is shown,
    // so it is the client area that is centred.
    QRect r(QPoint(0, 0), window->size());
    r.moveCenter(available.center());
    window->setGeometry(r);
}

} // namespace

QFont toQFont(const FontDescription &d)
{
    QFont font(d.face);
    // Sizes in points at 96 pixels per inch, the density the layouts are drawn for.
    font.setPixelSize(std::max(1, int(std::lround(d.points * 96.0 / 72.0))));
    font.setWeight(QFont::Weight(std::clamp(d.weight / 10 * 10, 100, 900)));
    font.setItalic(d.italic);
    font.setUnderline(d.underline);
    font.setStrikeOut(d.strikeout);
    return font;
}

QWidget *buildWindow(const WindowDescription &d)
{
    installAccessibility();
    auto *form = new Form;
    form->setObjectName(d.name);
    form->setWindowTitle(d.caption);
    if (d.border == BorderStyle::None) {
        form->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    } else {
        // A fixed frame with a caption bar and no minimise or maximise box. It stays an ordinary
        // top-level window so that it keeps its taskbar entry and can be restored when minimised.
        form->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    }
    form->setFixedSize(
        platform::twipsToPixels(d.clientWidth), platform::twipsToPixels(d.clientHeight));
    if (!d.picture.isEmpty()) {
        const QPixmap picture = loadPicture(d.picture);
        form->setPicture(SharpPicture(picture, d.picture));
    }
    form->setWindowIcon(d.icon.isEmpty() ? noIcon() : QIcon(d.icon));

    std::vector<std::pair<int, QWidget *>> keyboardOrder;
    for (const ControlDescription &c : d.controls) {
        QObject *made = nullptr;
        QWidget *widget = nullptr;
        switch (c.kind) {
        case ControlKind::Timer: {
            auto *timer = new TimerControl(form);
            timer->setInterval(c.interval);
            made = timer;
            break;
        }
        case ControlKind::Label:
            widget = buildLabel(c, form);
            break;
        case ControlKind::Image:
            widget = buildImage(c, form);
            break;
        case ControlKind::ComboBox:
            widget = buildComboBox(c, form);
            break;
        case ControlKind::Component:
            widget = platform::createComponent(c.componentClass, form,
                c.settings.isEmpty() ? platform::storedSettings(c.componentClass) : c.settings);
            widget->setParent(form);
            widget->setGeometry(pixelRect(c));
            break;
        }
        if (widget) {
            made = widget;
            // Each new control goes behind those made before it: the first stays in front.
            widget->lower();
            widget->show();
            if (c.tabIndex >= 0 && widget->focusPolicy() != Qt::NoFocus) {
                keyboardOrder.emplace_back(c.tabIndex, widget);
            }
        }
        made->setObjectName(c.name);
    }

    std::sort(keyboardOrder.begin(), keyboardOrder.end(),
        [](const auto &a, const auto &b) { return a.first < b.first; });
    for (size_t i = 1; i < keyboardOrder.size(); ++i) {
        QWidget::setTabOrder(keyboardOrder[i - 1].second, keyboardOrder[i].second);
    }
    if (!keyboardOrder.empty()) {
        keyboardOrder.front().second->setFocus(Qt::OtherFocusReason);
    }

    describeForAccessibility(form);
    if (d.startUpPosition == StartUpPosition::CentreScreen) {
        placeAtScreenCentre(form);
    }
    return form;
}

const ControlDescription *WindowDescription::find(const QString &controlName) const
{
    for (const auto &c : controls) {
        if (c.name == controlName) {
            return &c;
        }
    }
    return nullptr;
}

} // namespace ui
