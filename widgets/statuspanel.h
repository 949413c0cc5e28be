#pragma once

#include <QLabel>

// A flat status panel: bold black centred text on silver, a hand cursor, and
// a clicked() signal so a panel can open the dialog of the setting it shows.
// A disabled panel ignores clicks. A text wider than the panel is shortened
// in the middle ("Comport: /dev/serial/…/port0") and shown whole as a tip.
class StatusPanel : public QLabel
{
    Q_OBJECT

public:
    explicit StatusPanel(const QString &name, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};
