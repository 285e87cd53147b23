#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QVariant>

// One command waiting to be carried out: the bytes as sent (line feed
// included) or a marker, and whether the meter answers it.
class Command
{
public:
    Command(const QByteArray &text, bool expectsAnswer, const QVariant &tag);

    QByteArray text() const;
    bool expectsAnswer() const;

private:
    QByteArray m_text;
    bool m_expectsAnswer;
    QVariant m_tag; // 0 in every command the driver creates; nothing reads it
};

Q_DECLARE_METATYPE(Command *)
