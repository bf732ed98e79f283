#include "FolderListWidget.h"

#include "GameFolder.h"

#include <QDir>

namespace {
constexpr int PathRole = Qt::UserRole;
}

FolderListWidget::FolderListWidget(QWidget* parent)
    : QListWidget(parent)
{
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QString folder = item->data(PathRole).toString();
        if (GameFolder::canOpen(folder))
            emit folderOpened(folder);
    });
}

void FolderListWidget::showFolder(const QString& folder)
{
    clear();
    const QString clean = QDir::cleanPath(folder);
    QStringList chain;
    for (QDir dir(clean);; ) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& path : chain) {
        const QString name = QDir(path).isRoot() ? path : QDir(path).dirName();
        auto* item = new QListWidgetItem(QString(depth * 2, u' ') + name, this);
        item->setData(PathRole, path);
        ++depth;
    }
    setCurrentRow(count() - 1);
    const QStringList subfolders = QDir(clean).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subfolders) {
        auto* item = new QListWidgetItem(QString(depth * 2, u' ') + name, this);
        item->setData(PathRole, QDir(clean).absoluteFilePath(name));
    }
}
