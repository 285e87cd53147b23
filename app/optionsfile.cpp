#include "optionsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString FileName = QStringLiteral("options.xml");
const QString RootName = QStringLiteral("options");

void apply(OptionsFile::Values &values, const QString &name, const QString &text)
{
    if (name == QLatin1String("Geometry"))
        values.geometry = QByteArray::fromHex(text.toLatin1());
    else if (name == QLatin1String("State"))
        values.state = QByteArray::fromHex(text.toLatin1());
    else if (name == QLatin1String("splitter_2"))
        values.splitter = QByteArray::fromHex(text.toLatin1());
    else if (name == QLatin1String("FixedLanguage"))
        values.fixedLanguage = text.toInt() != 0;
    else if (name == QLatin1String("Language"))
        values.language = text;
    else if (name == QLatin1String("SamplePoints"))
        values.samplePoints = text.toInt();
    else if (name == QLatin1String("Infinite"))
        values.infinite = text.toInt() != 0;
    else if (name == QLatin1String("SampleRate"))
        values.sampleRate = text.toInt();
    else if (name == QLatin1String("SkipRepeat"))
        values.skipRepeat = text.toInt() != 0;
}

} // namespace

OptionsFile::OptionsFile(const QString &path) : m_path(path)
{
}

QString OptionsFile::defaultPath()
{
    return pathFor(QCoreApplication::applicationDirPath());
}

QString OptionsFile::pathFor(const QString &programDir)
{
    if (QFileInfo(programDir).isWritable())
        return programDir + QLatin1Char('/') + FileName;
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QLatin1Char('/') + FileName;
}

void OptionsFile::read(Values &values) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;

    // Any element but the root names a setting, wherever it stands; only the
    // first text inside it counts.
    QXmlStreamReader xml(&file);
    QString current;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (xml.name() != RootName)
                current = xml.name().toString();
            break;
        case QXmlStreamReader::Characters:
            if (!xml.isWhitespace() && !current.isEmpty()) {
                apply(values, current, xml.text().toString());
                current.clear();
            }
            break;
        default:
            break;
        }
    }
}

bool OptionsFile::write(const Values &values) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Written aside and renamed into place, so a failed write never leaves a
    // truncated file behind.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;

    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    xml.writeStartDocument();
    xml.writeStartElement(RootName);
    xml.writeTextElement(QStringLiteral("Geometry"), QString::fromLatin1(values.geometry.toHex()));
    xml.writeTextElement(QStringLiteral("State"), QString::fromLatin1(values.state.toHex()));
    xml.writeTextElement(QStringLiteral("splitter_2"), QString::fromLatin1(values.splitter.toHex()));
    xml.writeTextElement(QStringLiteral("FixedLanguage"), QString::number(values.fixedLanguage ? 1 : 0));
    xml.writeTextElement(QStringLiteral("Language"), values.language);
    xml.writeTextElement(QStringLiteral("SamplePoints"), QString::number(values.samplePoints));
    xml.writeTextElement(QStringLiteral("Infinite"), QString::number(values.infinite ? 1 : 0));
    xml.writeTextElement(QStringLiteral("SampleRate"), QString::number(values.sampleRate));
    xml.writeTextElement(QStringLiteral("SkipRepeat"), QString::number(values.skipRepeat ? 1 : 0));
    xml.writeEndElement();
    xml.writeEndDocument();
    return !xml.hasError() && file.commit();
}
