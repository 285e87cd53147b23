#include "command.h"

Command::Command(const QByteArray &text, bool expectsAnswer, const QVariant &tag)
    : m_text(text), m_expectsAnswer(expectsAnswer), m_tag(tag)
{
}

QByteArray Command::text() const
{
    return m_text;
}

bool Command::expectsAnswer() const
{
    return m_expectsAnswer;
}
