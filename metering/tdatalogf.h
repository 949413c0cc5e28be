#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

// "Datalogging Options": switches logging on or off, chooses the base name
// of the day's log files and sets the automatic start.
//
// The dialog works on a copy of the three preferences it is given and writes
// them back only on OK: Datalog from "Enable DataLogging", AutoStart from
// "Autostart Datalogging" (and never true while logging is off), DataFile
// from the base name chosen. Cancel leaves all three as they were.
class TDatalogF : public QDialog
{
    Q_OBJECT

public:
    // Asks the user for a file to log to, starting from a base name; returns
    // the chosen path, or an empty text when the user cancels. A save-file
    // dialog unless a test puts something else here.
    using FileChooser = std::function<QString(QWidget *owner, const QString &baseName)>;

    // A chosen path longer than this is refused ("Filename too long."), so a
    // base name is at most 240 characters and a log file name at most 249.
    static constexpr int kMaxChosenPathLength = 244;

    TDatalogF(bool &AutoStart, QString &DataFile, bool &Datalog, QWidget *owner = nullptr);

    // The base name the dialog would store on OK.
    QString BaseName() const { return m_baseName; }

    void select_file_BClick();
    void datalog_CBClick();
    void ok_BClick();
    void cancel_BClick();

    FileChooser ChooseFile;

    QLabel *Label1 = nullptr;
    QLabel *file1_L = nullptr;
    QPushButton *select_file_B = nullptr;
    QCheckBox *datalog_CB = nullptr;
    QCheckBox *auto_start_CB = nullptr;
    QPushButton *ok_B = nullptr;
    QPushButton *cancel_B = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool &m_autoStart;
    QString &m_dataFile;
    bool &m_datalog;
    QString m_baseName;
};
