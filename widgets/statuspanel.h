#pragma once

#include <QLabel>

// A flat status panel: bold black centred text on silver, a hand cursor, and
// a clicked() signal so a panel can open the dialog of the setting it shows.
// A disabled panel ignores clicks.
class StatusPanel : public QLabel
{
    Q_OBJECT

public:
    explicit StatusPanel(const QString &name, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
