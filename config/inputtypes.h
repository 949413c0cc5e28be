#pragma once

#include <QString>
#include <QStringList>

// Texts of the input type codes (modules/moduletable.h, InputType).

// The configuration grid's text of an input type code: "-----" for Not Used,
// the sensor name for 1..5, "Error" for any other code.
QString InputTypeText(int code);

// The selector's items; an item's index is its input type code.
QStringList InputTypeItems();
