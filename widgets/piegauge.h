#pragma once

#include <QColor>
#include <QWidget>

// A round gauge that fills like a pie, clockwise from twelve o'clock, with
// its percentage written in the middle ("42%").
//
// Progress is kept between MinValue and MaxValue: a value beyond either end
// shows as that end. The percentage is the share of the range, rounded down;
// a range of zero width shows 0%. Colours: BackColor fills the disc,
// ForeColor the pie, and the text is drawn in black. No border.
//
// Assistive technology reads it as a progress bar: its value, minimum,
// maximum and the percentage text.
class PieGauge : public QWidget
{
    Q_OBJECT

public:
    explicit PieGauge(QWidget *parent = nullptr);

    int MinValue() const { return m_min; }
    int MaxValue() const { return m_max; }
    // A maximum below the minimum is taken as the minimum.
    void SetRange(int minValue, int maxValue);
    int Progress() const { return m_progress; }
    void SetProgress(int value);
    int PercentDone() const;
    QString Text() const;

    QColor BackColor() const { return m_back; }
    void SetBackColor(const QColor &colour);
    QColor ForeColor() const { return m_fore; }
    void SetForeColor(const QColor &colour);

    QSize sizeHint() const override { return {40, 40}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_min = 0;
    int m_max = 100;
    int m_progress = 0;
    QColor m_back = Qt::white;
    QColor m_fore = Qt::black;
};
