#include "config/inputtypes.h"

#include "modules/moduletable.h"

QString InputTypeText(int code)
{
    switch (code) {
    case kNotUsed:
        return QStringLiteral("-----");
    case kPt100:
        return QStringLiteral("Pt100");
    case kNi100:
        return QStringLiteral("Ni100");
    case kNi120:
        return QStringLiteral("Ni120");
    case kCu10:
        return QStringLiteral("Cu10");
    case k4to20mA:
        return QStringLiteral("4-20 mA");
    default:
        return QStringLiteral("Error");
    }
}

QStringList InputTypeItems()
{
    return {QStringLiteral("Not Used"), QStringLiteral("Pt100"), QStringLiteral("Ni100"),
            QStringLiteral("Ni120"),    QStringLiteral("Cu10"),  QStringLiteral("4-20 mA")};
}
