#include "metering/tdatalogf.h"

#include "metering/datalogfile.h"
#include "widgets/filedialogs.h"
#include "widgets/palette.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>

TDatalogF::TDatalogF(bool &AutoStart, QString &DataFile, bool &Datalog, QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_autoStart(AutoStart),
      m_dataFile(DataFile), m_datalog(Datalog), m_baseName(DataFile)
{
    setObjectName(QStringLiteral("DatalogF"));
    setWindowTitle(QStringLiteral("Datalogging Options"));
    setModal(true);
    setFixedSize(592, 146);
    // The controls are laid out for this font.
    SetDialogFont(this);
    // Only a base name is chosen here; the day's files are made when rows
    // are logged, so there is nothing to overwrite yet.
    ChooseFile = [](QWidget *dialogOwner, const QString &baseName) {
        return ChooseFileWithDialog(dialogOwner,
                                    {.title = QStringLiteral("Save as FILENAME_mmdd.txt"),
                                     .initial = baseName,
                                     .kind = QStringLiteral("Text File"),
                                     .extension = QStringLiteral("csv"),
                                     .save = true});
    };

    Label1 = new QLabel(QStringLiteral("FileName: "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(16, 10);
    Label1->adjustSize();

    file1_L = new QLabel(m_baseName, this);
    file1_L->setObjectName(QStringLiteral("file1_L"));
    file1_L->setGeometry(72, 8, 433, 19);
    file1_L->setFrameShape(QFrame::Box);
    file1_L->setAlignment(Qt::AlignCenter);
    // A path is shown as written, never as markup.
    file1_L->setTextFormat(Qt::PlainText);
    file1_L->setCursor(Qt::PointingHandCursor);
    file1_L->installEventFilter(this);

    select_file_B = new QPushButton(QStringLiteral("Change File"), this);
    select_file_B->setObjectName(QStringLiteral("select_file_B"));
    select_file_B->setGeometry(511, 6, 75, 25);

    datalog_CB = new QCheckBox(QStringLiteral("Enable DataLogging"), this);
    datalog_CB->setObjectName(QStringLiteral("datalog_CB"));
    datalog_CB->setGeometry(16, 45, 137, 17);
    datalog_CB->setChecked(Datalog);

    auto_start_CB = new QCheckBox(QStringLiteral("Autostart Datalogging"), this);
    auto_start_CB->setObjectName(QStringLiteral("auto_start_CB"));
    auto_start_CB->setGeometry(16, 68, 137, 17);
    auto_start_CB->setVisible(Datalog);
    auto_start_CB->setChecked(AutoStart);
    // The captions were measured in a narrower font than the system's: a box
    // grows to the right rather than cut its caption.
    for (QCheckBox *box : {datalog_CB, auto_start_CB})
        box->resize(std::max(box->width(), box->sizeHint().width()), box->height());

    ok_B = new QPushButton(QStringLiteral("OK"), this);
    ok_B->setObjectName(QStringLiteral("ok_B"));
    ok_B->setGeometry(196, 104, 75, 25);
    ok_B->setDefault(true);
    cancel_B = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_B->setObjectName(QStringLiteral("cancel_B"));
    cancel_B->setGeometry(321, 104, 75, 25);

    connect(select_file_B, &QPushButton::clicked, this, &TDatalogF::select_file_BClick);
    connect(datalog_CB, &QCheckBox::clicked, this, &TDatalogF::datalog_CBClick);
    connect(ok_B, &QPushButton::clicked, this, &TDatalogF::ok_BClick);
    connect(cancel_B, &QPushButton::clicked, this, &TDatalogF::cancel_BClick);
}

bool TDatalogF::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == file1_L && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        select_file_BClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TDatalogF::select_file_BClick()
{
    const QString chosen = ChooseFile ? ChooseFile(this, m_baseName) : QString();
    if (chosen.isEmpty())
        return;
    if (chosen.size() > kMaxChosenPathLength) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"),
                        QStringLiteral("Filename too long."), QMessageBox::Ok);
        box.exec();
        return;
    }
    m_baseName = DatalogBaseName(chosen);
    file1_L->setText(m_baseName);
}

void TDatalogF::datalog_CBClick()
{
    auto_start_CB->setVisible(datalog_CB->isChecked());
}

void TDatalogF::ok_BClick()
{
    m_datalog = datalog_CB->isChecked();
    m_autoStart = datalog_CB->isChecked() && auto_start_CB->isChecked();
    m_dataFile = m_baseName;
    accept();
}

void TDatalogF::cancel_BClick()
{
    reject();
}
