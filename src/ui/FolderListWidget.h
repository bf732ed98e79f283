#pragma once

#include <QListWidget>

// A folder list: the folders from the drive root down to the current folder,
// then the current folder's subfolders. Opening an entry (double click or
// Enter) reports it as the new current folder.
class FolderListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit FolderListWidget(QWidget* parent = nullptr);
    void showFolder(const QString& folder);

signals:
    void folderOpened(const QString& folder);
};
