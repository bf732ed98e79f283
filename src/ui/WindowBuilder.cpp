#include "WindowBuilder.h"

#include "ControlSurface.h"
#include "WidgetBinding.h"
#include "WindowLayout.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace {

QColor toColor(const Colour& colour)
{
    if (colour.rgb)
        return QColor(colour.rgb->red, colour.rgb->green, colour.rgb->blue);
    return QApplication::palette().color(QPalette::Window);
}

QFont toFont(const FontSpec& font)
{
    QFont result(font.family);
    // Pixel sizes keep the layout in twips true whatever the screen's dpi.
    result.setPixelSize(qRound(font.points * 96.0 / 72.0));
    result.setBold(font.bold);
    return result;
}

void applyStyle(QWidget& widget, const ControlStyle& style)
{
    widget.setFont(toFont(style.font.value_or(FontSpec{DefaultFontFamily, 8.25, false})));
    // The platform's colours for the widget's kind, each set explicitly so
    // that a frame's colours do not pass down to the controls inside it.
    QPalette palette = QApplication::palette(&widget);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                               QPalette::Window, QPalette::Button, QPalette::Base})
            palette.setColor(group, role, palette.color(group, role));
    }
    if (style.foreground) {
        const QColor color = toColor(*style.foreground);
        palette.setColor(QPalette::WindowText, color);
        palette.setColor(QPalette::Text, color);
        palette.setColor(QPalette::ButtonText, color);
    }
    if (style.background) {
        const QColor color = toColor(*style.background);
        palette.setColor(QPalette::Window, color);
        palette.setColor(QPalette::Button, color);
    }
    widget.setPalette(palette);
}

bool takesFocus(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Button:
    case ControlKind::OptionButton:
    case ControlKind::CheckBox:
    case ControlKind::TextBox:
    case ControlKind::ReadOnlyTextBox:
    case ControlKind::ListBox:
    case ControlKind::DriveList:
    case ControlKind::FolderList:
    case ControlKind::RichTextBox:
        return true;
    default:
        return false;
    }
}

} // namespace

void buildWindow(QWidget& window, const WindowLayout& layout, ControlSurface& controls)
{
    window.setObjectName(layout.name);
    window.setWindowTitle(layout.caption);
    const QSize client(layout.clientWidth / TwipsPerPixel, layout.clientHeight / TwipsPerPixel);
    if (layout.resizable)
        window.resize(client);
    else
        window.setFixedSize(client);
    if (layout.background.rgb || layout.background.activeBorder) {
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, toColor(layout.background));
        window.setPalette(palette);
        window.setAutoFillBackground(true);
    }

    // Containers first, then everything bottom-most first, so that later
    // (higher) rows are created on top; raising in reverse fixes the order.
    QHash<QString, QWidget*> widgets;
    const auto create = [&](const ControlSpec& row) {
        QWidget* parent = row.container.isEmpty() ? &window : widgets.value(row.container, &window);
        QWidget* widget = createBoundWidget(row, controls[row.name], parent);
        if (!widget)
            return;
        applyStyle(*widget, layout.styles.value(row.name));
        widget->setToolTip(layout.toolTips.value(row.name));
        widget->setFocusPolicy(takesFocus(row.kind) ? Qt::StrongFocus : Qt::NoFocus);
        widgets.insert(row.name, widget);
    };
    for (const ControlSpec& row : layout.controls) {
        if (row.kind == ControlKind::Frame)
            create(row);
    }
    for (auto row = layout.controls.rbegin(); row != layout.controls.rend(); ++row) {
        if (row->kind != ControlKind::Frame)
            create(*row);
    }
    for (auto row = layout.controls.rbegin(); row != layout.controls.rend(); ++row) {
        if (QWidget* widget = widgets.value(row->name))
            widget->raise();
    }

    std::vector<const ControlSpec*> focusable;
    for (const ControlSpec& row : layout.controls) {
        if (takesFocus(row.kind) && row.tabIndex >= 0 && widgets.contains(row.name))
            focusable.push_back(&row);
    }
    std::sort(focusable.begin(), focusable.end(),
              [](const ControlSpec* a, const ControlSpec* b) { return a->tabIndex < b->tabIndex; });
    for (size_t i = 1; i < focusable.size(); ++i)
        QWidget::setTabOrder(widgets.value(focusable[i - 1]->name), widgets.value(focusable[i]->name));
}
