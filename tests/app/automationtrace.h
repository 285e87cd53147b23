#pragma once

// Watches every call made on the spreadsheet's automation objects while it
// lives, as text lines ("range setProperty WrapText true"), and can refuse
// one sub-object to see that the caller fails cleanly.
#include "automationobject.h"

#include <QColor>
#include <QStringList>

class AutomationTrace
{
public:
    // `refuse`: the number (from 1) of the querySubObject call answered with
    // null; 0 refuses none.
    explicit AutomationTrace(int refuse = 0) : refuse(refuse)
    {
        AutomationObject::watcher = [this](const AutomationObject &object, const char *call, const char *member,
                                           const QVariantList &arguments) {
            QStringList parts{QLatin1String(kindName(object)), QLatin1String(call), QLatin1String(member)};
            QStringList texts;
            for (const QVariant &argument : arguments)
                texts << argumentText(argument);
            if (!texts.isEmpty())
                parts << texts.join(QStringLiteral(", "));
            calls << parts.join(QLatin1Char(' '));
            return qstrcmp(call, "querySubObject") != 0 || ++queries != this->refuse;
        };
    }
    ~AutomationTrace() { AutomationObject::watcher = nullptr; }
    AutomationTrace(const AutomationTrace &) = delete;
    AutomationTrace &operator=(const AutomationTrace &) = delete;

    QStringList calls;
    int queries = 0; // querySubObject calls seen

private:
    static const char *kindName(const AutomationObject &object)
    {
        // Calls before binding are the application's too.
        static const char *const names[] = {"application", "application", "workbooks", "workbook", "sheets",
                                            "sheet",       "range",       "border",    "columns"};
        return names[int(object.kind)];
    }

    static QString argumentText(const QVariant &argument)
    {
        if (argument.canConvert<RowSource *>())
            return QStringLiteral("[row source]");
        switch (argument.type()) {
        case QVariant::Invalid:
            return QStringLiteral("-");
        case QVariant::Bool:
            return argument.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        case QVariant::Color:
            return argument.value<QColor>().name();
        case QVariant::UserType:
            return QStringLiteral("[object]");
        default:
            return argument.toString();
        }
    }

    const int refuse;
};
