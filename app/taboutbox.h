#pragma once

#include <QDialog>
#include <QIcon>

class QLabel;
class QFrame;
class QPushButton;
class QTextEdit;

// The about box: product picture, name and version. Created once at start-up
// and kept until the program ends; About shows it modally. Each time it is
// shown it stands centred on its screen's available area, with the focus on
// OKButton. The picture is painted when the box first shows.
class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBox(QWidget *parent = nullptr);

    QLabel *Image1 = nullptr;
    QFrame *Panel1 = nullptr;
    QLabel *ProductName = nullptr;
    QLabel *Version = nullptr;
    QLabel *Copyright = nullptr;
    QLabel *Comments = nullptr;
    QTextEdit *Description = nullptr;
    QPushButton *OKButton = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};

// The product picture: an RTD probe and a trend line, drawn at any size.
QPixmap ProductPicture(const QSize &size);

// The program's window icon: the probe of the product picture on its dark
// blue ground, drawn for each size a desktop asks of it (16 to 64 pixels).
QIcon ProgramIcon();
