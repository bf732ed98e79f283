#pragma once

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

class ControlSurface;

// A window described as data: every control with its kind, container,
// caption, place and size in twips (1/1440 inch; 15 twips are one pixel at
// 96 dpi), initial visibility and tab index. Rows stand in stacking order,
// topmost first. No behaviour lives here.
enum class ControlKind {
    Button,
    OptionButton,
    CheckBox,
    TextBox,
    ReadOnlyTextBox,
    Label,
    CentredLabel,
    BorderedLabel,
    WrappedLabel,
    Frame,
    ListBox,
    DriveList,
    FolderList,
    RichTextBox,
    ProgressBar,
    Line,
    PictureBox,
    Timer,
    TcpSocket,
    FileDialog,
    DataControl,
};

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

// A colour given either as RGB or as the platform's active-border colour.
struct Colour {
    std::optional<Rgb> rgb;
    bool activeBorder = false;
};

struct FontSpec {
    QString family;
    double points = 8.25;
    bool bold = false;
};

struct ControlSpec {
    QString name;
    ControlKind kind;
    QString container; // empty: the window's client area
    QString caption;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool shown = true;
    int tabIndex = -1; // -1: takes no tab index
};

struct ControlStyle {
    std::optional<FontSpec> font;
    std::optional<Colour> foreground;
    std::optional<Colour> background;
};

struct WindowLayout {
    QString name;
    QString caption;
    int clientWidth = 0;
    int clientHeight = 0;
    bool resizable = false;
    bool framed = true;
    Colour background;
    std::vector<ControlSpec> controls;
    QHash<QString, QString> toolTips;
    QHash<QString, ControlStyle> styles;
    QHash<QString, QStringList> listEntries;
    QHash<QString, std::pair<double, double>> ranges; // progress bars: minimum, maximum

};

inline constexpr int TwipsPerPixel = 15;
inline const QString DefaultFontFamily = QStringLiteral("MS Sans Serif");

// Controls of the window in their initial state, for the handlers.
void populate(ControlSurface& surface, const WindowLayout& layout);
