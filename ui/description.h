#pragma once

#include "platform/colour.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace ui {

// A window description: the window's own settings, then its controls in creation order. Positions
// and sizes are in twips; settings that are not stored take the toolkit's defaults.

enum class ControlKind {
    Timer,
    ComboBox,
    Label,
    Image,
    Component,
};

struct FontDescription
{
    QString face;
    double points = 0;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    int charset = 0;
};

struct ControlDescription
{
    QString name;
    ControlKind kind = ControlKind::Label;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int tabIndex = -1; // -1: the control has no place in the keyboard order

    QString caption; // label
    QString text; // combo box: the text field's initial text
    QStringList items; // combo box: the design-time item list, unsorted
    std::optional<platform::ColourValue> backColour;
    std::optional<platform::ColourValue> foreColour;
    bool opaque = false; // label: draws its back colour (else only its text)
    std::optional<FontDescription> font;
    QString picture; // image: resource path of the picture, shown at its own pixel size
    int interval = 0; // timer, in milliseconds
    QString componentClass; // component: the class it is created by (platform/components.h)
    // Component: its stored settings block; empty: the component's own stored settings, the
    // block its class is registered with (platform::storedSettings).
    QByteArray settings;
};

enum class BorderStyle {
    None, // no frame and no title bar
    FixedToolWindow, // thin fixed border, caption bar, no minimise or maximise box
};

enum class StartUpPosition {
    Manual,
    CentreScreen,
};

struct WindowDescription
{
    QString name;
    QString caption;
    BorderStyle border = BorderStyle::FixedToolWindow;
    int clientWidth = 0; // twips
    int clientHeight = 0; // twips
    StartUpPosition startUpPosition = StartUpPosition::CentreScreen;
    QString picture; // background picture drawn at the client origin at its own size
    QString icon; // window icon; empty: none (not the application's either)
    std::vector<ControlDescription> controls; // creation order: the first is in front

    const ControlDescription *find(const QString &controlName) const;
};

// The main window. The station list's items are the catalogue's display names, in its order.
WindowDescription form1Description(const QStringList &stationNames);

// The credits window.
WindowDescription form2Description();

} // namespace ui
