#pragma once

#include <QWidget>

class QFrame;
class QPushButton;
class QRadioButton;

// The page "RTD Module Selections" (Selection_Tab): the choice between the
// standard page set and the relay-module debug page. The silver panel
// selections_P holds the radio buttons tav_RB "TAV-RTD (Standard Use)"
// (chosen at start) and vrx_RB "VRX-RTD (DEBUG only)", and the button view_B
// "VIEW". The page only shows the choice; what VIEW does to the pages, the
// status panels and the preferences is the main window's view_BClick, which
// it connects to view_B.
class ModuleSelectionPage : public QWidget
{
    Q_OBJECT

public:
    explicit ModuleSelectionPage(QWidget *parent = nullptr);

    QFrame *selections_P = nullptr;
    QRadioButton *tav_RB = nullptr;
    QRadioButton *vrx_RB = nullptr;
    QPushButton *view_B = nullptr;
};
