#include "WidgetBinding.h"

#include "Control.h"
#include "FolderListWidget.h"
#include "PictureBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include <algorithm>
#include <limits>

namespace {

QRect pixels(const QRect& twips)
{
    return QRect(twips.x() / TwipsPerPixel, twips.y() / TwipsPerPixel, twips.width() / TwipsPerPixel,
                 twips.height() / TwipsPerPixel);
}

template <typename W, typename Setter>
void bindText(Control& control, W* widget, Setter set)
{
    set(widget, control.text());
    QObject::connect(&control, &Control::textChanged, widget, [&control, widget, set] { set(widget, control.text()); });
}

QWidget* createButton(Control& control, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    bindText(control, button, [](QPushButton* b, const QString& t) { b->setText(t); });
    QObject::connect(button, &QPushButton::clicked, &control, &Control::click);
    return button;
}

QWidget* createOptionButton(Control& control, QWidget* parent)
{
    auto* option = new QRadioButton(parent);
    bindText(control, option, [](QRadioButton* o, const QString& t) { o->setText(t); });
    option->setChecked(control.value() != 0);
    QObject::connect(&control, &Control::valueChanged, option, [option](double v) { option->setChecked(v != 0); });
    QObject::connect(option, &QRadioButton::toggled, &control, [&control](bool on) { control.setValue(on ? 1 : 0); });
    return option;
}

QWidget* createCheckBox(Control& control, QWidget* parent)
{
    auto* box = new QCheckBox(parent);
    bindText(control, box, [](QCheckBox* b, const QString& t) { b->setText(t); });
    const auto show = [box](double v) {
        box->setCheckState(v == 0 ? Qt::Unchecked : v == 1 ? Qt::Checked : Qt::PartiallyChecked);
    };
    show(control.value());
    QObject::connect(&control, &Control::valueChanged, box, show);
    QObject::connect(box, &QCheckBox::clicked, &control,
                     [&control, box] { control.setValue(box->checkState() == Qt::Checked ? 1 : 0); });
    return box;
}

QWidget* createTextBox(Control& control, QWidget* parent, bool readOnly)
{
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(readOnly);
    bindText(control, edit, [](QLineEdit* e, const QString& t) {
        if (e->text() != t)
            e->setText(t);
    });
    QObject::connect(edit, &QLineEdit::textEdited, &control, &Control::setText);
    return edit;
}

QWidget* createLabel(const ControlSpec& row, Control& control, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(row.kind == ControlKind::CentredLabel ? (Qt::AlignHCenter | Qt::AlignTop)
                                                                 : (Qt::AlignLeft | Qt::AlignTop));
    label->setWordWrap(row.kind == ControlKind::WrappedLabel);
    if (row.kind == ControlKind::BorderedLabel) {
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        label->setAutoFillBackground(true);
    }
    bindText(control, label, [](QLabel* l, const QString& t) { l->setText(t); });
    return label;
}

QWidget* createFrame(Control& control, QWidget* parent)
{
    auto* frame = new QGroupBox(parent);
    bindText(control, frame, [](QGroupBox* f, const QString& t) { f->setTitle(t); });
    return frame;
}

QWidget* createListBox(Control& control, QWidget* parent)
{
    auto* list = new QListWidget(parent);
    list->addItems(control.items());
    const auto showSelection = [list](const QString& text) {
        const QSignalBlocker quiet(list);
        const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        list->setCurrentItem(found.isEmpty() ? nullptr : found.first());
    };
    bindText(control, list, [showSelection](QListWidget*, const QString& t) { showSelection(t); });
    QObject::connect(list, &QListWidget::currentTextChanged, &control, [&control](const QString& text) {
        if (!text.isEmpty())
            control.select(text);
    });
    return list;
}

QWidget* createDriveList(Control& control, QWidget* parent)
{
    auto* drives = new QComboBox(parent);
    drives->addItems(control.items());
    QObject::connect(&control, &Control::itemsChanged, drives, [drives](const QStringList& items) {
        const QSignalBlocker quiet(drives);
        drives->clear();
        drives->addItems(items);
    });
    bindText(control, drives, [](QComboBox* d, const QString& t) {
        const QSignalBlocker quiet(d);
        d->setCurrentIndex(d->findText(t));
    });
    QObject::connect(drives, &QComboBox::activated, &control,
                     [&control, drives](int index) { control.setText(drives->itemText(index)); });
    return drives;
}

QWidget* createFolderList(Control& control, QWidget* parent)
{
    auto* folders = new FolderListWidget(parent);
    bindText(control, folders, [](FolderListWidget* f, const QString& t) { f->showFolder(t); });
    QObject::connect(folders, &FolderListWidget::folderOpened, &control, &Control::setText);
    return folders;
}

QWidget* createRichTextBox(Control& control, QWidget* parent)
{
    auto* box = new QPlainTextEdit(parent);
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    bindText(control, box, [](QPlainTextEdit* b, const QString& t) { b->setPlainText(t); });
    return box;
}

QWidget* createProgressBar(Control& control, QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(false);
    // The control's range is any pair of doubles, a file's size in bytes among
    // them; a range the widget's int cannot hold is shown in scaled steps.
    const auto show = [bar, &control] {
        constexpr int ScaledSteps = 1'000'000;
        const double minimum = control.minimum();
        const double maximum = std::max(minimum, control.maximum());
        const double value = std::clamp(control.value(), minimum, maximum);
        if (minimum >= std::numeric_limits<int>::min() && maximum <= std::numeric_limits<int>::max()) {
            bar->setRange(int(minimum), int(maximum));
            bar->setValue(int(value));
        } else {
            bar->setRange(0, ScaledSteps);
            bar->setValue(maximum > minimum ? int((value - minimum) / (maximum - minimum) * ScaledSteps) : 0);
        }
    };
    show();
    QObject::connect(&control, &Control::rangeChanged, bar, show);
    QObject::connect(&control, &Control::valueChanged, bar, show);
    return bar;
}

QWidget* createLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::NoFrame);
    line->setStyleSheet(QStringLiteral("background-color: black;"));
    return line;
}

QWidget* createPictureBox(Control& control, QWidget* parent)
{
    auto* picture = new PictureBox(parent);
    QObject::connect(picture, &PictureBox::clicked, &control, &Control::click);
    return picture;
}

QWidget* createWidget(const ControlSpec& row, Control& control, QWidget* parent)
{
    switch (row.kind) {
    case ControlKind::Button:
        return createButton(control, parent);
    case ControlKind::OptionButton:
        return createOptionButton(control, parent);
    case ControlKind::CheckBox:
        return createCheckBox(control, parent);
    case ControlKind::TextBox:
    case ControlKind::ReadOnlyTextBox:
        return createTextBox(control, parent, row.kind == ControlKind::ReadOnlyTextBox);
    case ControlKind::Label:
    case ControlKind::CentredLabel:
    case ControlKind::BorderedLabel:
    case ControlKind::WrappedLabel:
        return createLabel(row, control, parent);
    case ControlKind::Frame:
        return createFrame(control, parent);
    case ControlKind::ListBox:
        return createListBox(control, parent);
    case ControlKind::DriveList:
        return createDriveList(control, parent);
    case ControlKind::FolderList:
        return createFolderList(control, parent);
    case ControlKind::RichTextBox:
        return createRichTextBox(control, parent);
    case ControlKind::ProgressBar:
        return createProgressBar(control, parent);
    case ControlKind::Line:
        return createLine(parent);
    case ControlKind::PictureBox:
        return createPictureBox(control, parent);
    case ControlKind::Timer:
    case ControlKind::TcpSocket:
    case ControlKind::FileDialog:
    case ControlKind::DataControl:
        return nullptr;
    }
    return nullptr;
}

} // namespace

QWidget* createBoundWidget(const ControlSpec& row, Control& control, QWidget* parent)
{
    QWidget* widget = createWidget(row, control, parent);
    if (!widget)
        return nullptr;
    widget->setObjectName(row.name);

    const auto place = [widget, kind = row.kind](const QRect& twips) {
        QRect geometry = pixels(twips);
        if (kind == ControlKind::Line)
            geometry.setHeight(1);
        widget->setGeometry(geometry);
    };
    place(control.geometry());
    QObject::connect(&control, &Control::geometryChanged, widget, place);

    widget->setVisible(control.isVisible());
    QObject::connect(&control, &Control::visibleChanged, widget, &QWidget::setVisible);
    widget->setEnabled(control.isEnabled());
    QObject::connect(&control, &Control::enabledChanged, widget, &QWidget::setEnabled);
    return widget;
}
