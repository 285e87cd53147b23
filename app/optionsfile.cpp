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

// A count of the options dialog's spin boxes, clamped into their range.
int clampedCount(const QString &text, int least)
{
    return static_cast<int>(qBound<qlonglong>(least, text.toLongLong(), 2147483647));
}

// "LINE1=0.1:0.2;LINE2=:0.5", as dmmlog's --limit takes them; a part that
// is no such thing leaves its line without limits.
QString limitsText(const OptionsFile::Values &values)
{
    QStringList parts;
    for (int line = 0; line < 2; ++line) {
        if (values.limits[line].isSet())
            parts.append(QStringLiteral("LINE%1=%2").arg(line + 1).arg(values.limits[line].text()));
    }
    return parts.join(QLatin1Char(';'));
}

void readLimits(OptionsFile::Values &values, const QString &text)
{
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (const auto limits = LineLimits::parseForLine(part))
            values.limits[limits->first] = limits->second;
    }
}

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
        values.samplePoints = clampedCount(text, 1);
    else if (name == QLatin1String("Infinite"))
        values.infinite = text.toInt() != 0;
    else if (name == QLatin1String("SampleRate"))
        values.sampleRate = clampedCount(text, 0);
    else if (name == QLatin1String("SkipRepeat"))
        values.skipRepeat = text.toInt() != 0;
    else if (name == QLatin1String("Journal"))
        values.journal = text.toInt() != 0;
    else if (name == QLatin1String("Reconnect"))
        values.reconnect = text.toInt() != 0;
    else if (name == QLatin1String("SendInflux"))
        values.sendInflux = text;
    else if (name == QLatin1String("SendMqtt"))
        values.sendMqtt = text;
    else if (name == QLatin1String("Limits"))
        readLimits(values, text);
    else if (name == QLatin1String("StopWhen"))
        values.stopCondition = StopCondition::parse(text);
}

bool isRegularFile(const QString &path)
{
    return QFileInfo(path).isFile(); // follows links; devices, FIFOs and directories are not
}

// Applies the settings of the file at `path` to `values`; false when the file
// is not well-formed XML (the settings before the error still count).
bool readInto(const QString &path, OptionsFile::Values &values)
{
    QFile file(path);
    if (!isRegularFile(path) || !file.open(QIODevice::ReadOnly))
        return true; // nothing there to be malformed

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
    return !xml.hasError() || file.size() == 0;
}

// Copies a file that could not be read to `path`.bad before it is replaced.
void keepIfUnreadable(const QString &path)
{
    OptionsFile::Values scratch;
    if (readInto(path, scratch))
        return;
    const QString bad = path + QStringLiteral(".bad");
    QFile::remove(bad); // a link there goes, not what it leads to
    QFile::copy(path, bad);
}

QByteArray document(const OptionsFile::Values &values)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
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
    xml.writeTextElement(QStringLiteral("Journal"), QString::number(values.journal ? 1 : 0));
    xml.writeTextElement(QStringLiteral("Reconnect"), QString::number(values.reconnect ? 1 : 0));
    xml.writeTextElement(QStringLiteral("SendInflux"), values.sendInflux);
    xml.writeTextElement(QStringLiteral("SendMqtt"), values.sendMqtt);
    xml.writeTextElement(QStringLiteral("Limits"), limitsText(values));
    xml.writeTextElement(QStringLiteral("StopWhen"), values.stopCondition ? values.stopCondition->text() : QString());
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
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

QString OptionsFile::path() const
{
    return m_path;
}

void OptionsFile::read(Values &values) const
{
    readInto(m_path, values);
}

QString OptionsFile::writeTarget() const
{
    const QFileInfo info(m_path);
    if (!info.exists()) // nothing there yet, or a link leading nowhere
        return info.isSymLink() ? QString() : m_path;
    return info.isFile() ? info.canonicalFilePath() : QString();
}

OptionsFile::WriteResult OptionsFile::write(const Values &values) const
{
    // Only a regular file is ever replaced: a user who points the path at
    // /dev/null wants no settings kept, and the rename would replace the
    // device node itself.
    const QString target = writeTarget();
    if (target.isEmpty())
        return WriteResult::NotARegularFile;
    QDir().mkpath(QFileInfo(target).absolutePath());
    keepIfUnreadable(target);

    // Written aside and renamed into place. Every byte and the flush are
    // checked before the rename: on a full disk the buffered writes fail
    // unseen, and the commit alone would put an empty file in place of the
    // old one and report success.
    const QByteArray bytes = document(values);
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return WriteResult::CannotWrite;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return WriteResult::CannotWrite;
    }
    return file.commit() ? WriteResult::Written : WriteResult::CannotWrite;
}
