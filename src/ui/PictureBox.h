#pragma once

#include <QLabel>

// A picture with a sunken two-pixel border that reports clicks.
class PictureBox : public QLabel
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
