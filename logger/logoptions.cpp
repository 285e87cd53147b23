#include "logoptions.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

const char Usage[] =
    "usage: dmmlog [OPTION]...\n"
    "Logs the readings of a KM4473N/KM4475N meter, one line per reading, until\n"
    "stopped (Ctrl+C, SIGTERM) or a limit is reached. The meter is kept in remote\n"
    "mode while logging and returned to local at the end.\n"
    "\n"
    "  --list               list the USB instruments that can be opened, then stop\n"
    "  --resource NAME      the meter of this VISA resource name, as --list prints\n"
    "                       it (default: the first KM447x meter found)\n"
    "  -o, --output FILE    write to FILE, a new file, instead of standard output\n"
    "                       (- is standard output)\n"
    "  --format csv|jsonl|influx  the recording journal's CSV (default), one\n"
    "                       JSON object per line, or InfluxDB line protocol\n"
    "  --interval SECONDS   one reading every SECONDS (default: every reading pass)\n"
    "  --samples N          stop after N readings\n"
    "  --duration TIME      stop after TIME: 90 or 90s, 15m, 1h30m, 2d\n"
    "  --function LINEn=CHm[,FUNC]  show channel m on display line n (with\n"
    "                       function FUNC: VOLT, VPP, WATT, DB, DBM, ...)\n"
    "  --range CHn=RANGE    AUTO, or a range as the meter's commands name it:\n"
    "                       3.7mV, 37mV, 370mV, 3.7V, 37V, 370V (the 3.8 mV ...\n"
    "                       380 V ranges)\n"
    "  --rate FAST|MED|SLOW the reading rate\n"
    "  --limit LINEn=LO:HI  raise an alarm when display line n leaves LO ... HI\n"
    "                       (plain SI values; either side may be empty:\n"
    "                       LINE1=:0.5); OL counts as above\n"
    "  --stop-when CONDITION  end cleanly after the first reading that meets\n"
    "                       CONDITION, LINEn<X or LINEn>X (may be repeated)\n"
    "  --no-reconnect       end on a lost link instead of waiting for the meter\n"
    "  --reconnect          wait for the meter when the link is lost (default)\n"
    "  --influx URL         also send each reading to InfluxDB's write endpoint,\n"
    "                       http(s)://HOST:8086/write?db=NAME (1.x) or\n"
    "                       .../api/v2/write?org=ORG&bucket=NAME (2.x); the\n"
    "                       token, if any, from INFLUX_TOKEN\n"
    "  --mqtt URL           also publish each reading to an MQTT broker,\n"
    "                       mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT][/PREFIX]\n"
    "  --mqtt-cafile FILE   the CA certificate(s) for mqtts:// (default: the\n"
    "                       system's)\n"
    "  --flush-timeout TIME at the end, how long a server may go without taking a\n"
    "                       reading before the rest is left unsent (default 30s)\n"
    "  --forward FILE       send the readings of an earlier journal to the\n"
    "                       --influx/--mqtt servers, then stop\n"
    "  -h, --help           show this help\n"
    "\n"
    "Settings are made before the first reading and checked against what the\n"
    "meter reports; one it refuses ends the program before anything is logged.\n"
    "Readings to be sent go to the journal first (-o FILE, or a new file in\n"
    "~/.local/share/dmmlog/) and are sent from it, so an outage loses none.\n"
    "A one-line status goes to standard error when that is a terminal.\n"
    "\n"
    "Exit status: 0 clean end, 1 link lost or output unwritable (also when any\n"
    "reading could not be written, or readings were left unsent to a server),\n"
    "2 bad arguments or a refused setting, 3 no meter found.\n"
    "\n"
    "Examples:\n"
    "  dmmlog --samples 100 -o bench.csv\n"
    "  dmmlog --interval 1 --duration 1h30m --function LINE1=CH1,DBM -o run.csv\n"
    "  dmmlog --format jsonl --rate SLOW | jq .line1.value\n"
    "  dmmlog --stop-when 'LINE1<1.05' --limit LINE2=:0.5 -o discharge.csv\n"
    "  DMMPANEL_SIMULATOR=1 dmmlog --samples 10     # against the simulated meter\n"
    "  dmmlog --resource KM4473NG0001 -o bench1.csv \\\n"
    "         --influx 'http://influx.lab:8086/write?db=lab' --mqtt mqtt://broker.lab\n";

// The options that make a setting of the meter.
struct SettingOption
{
    const char *name;
    std::optional<SettingRequest> (*parse)(const QString &text);
    const char *expected;
};

const SettingOption *settingOption(const QString &name)
{
    static const SettingOption options[] = {
        {"--function", SettingRequest::function, "LINE1 or LINE2 = CH1 or CH2, then an optional function expected"},
        {"--range", SettingRequest::range, "CH1 or CH2 = a range expected"},
        {"--rate", SettingRequest::rate, "a rate name expected"},
    };
    for (const SettingOption &option : options) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

const QRegularExpression &durationForm()
{
    static const QRegularExpression form(QStringLiteral("^(?:(\\d+(?:\\.\\d+)?)(d|h|ms|m|s)?)+$"));
    return form;
}

} // namespace

qint64 parseDuration(const QString &text)
{
    if (!durationForm().match(text).hasMatch())
        return -1;
    static const QRegularExpression part(QStringLiteral("(\\d+(?:\\.\\d+)?)(d|h|ms|m|s)?"));
    double ms = 0;
    int parts = 0;
    for (auto it = part.globalMatch(text); it.hasNext(); ++parts) {
        const QRegularExpressionMatch match = it.next();
        const QString unit = match.captured(2);
        // Only a number on its own goes without a unit: "1h30" is no duration.
        if (unit.isEmpty() && match.captured(0) != text)
            return -1;
        const double scale = unit == QLatin1String("d")    ? 86400e3
                             : unit == QLatin1String("h")  ? 3600e3
                             : unit == QLatin1String("m")  ? 60e3
                             : unit == QLatin1String("ms") ? 1
                                                           : 1e3;
        ms += match.captured(1).toDouble() * scale;
    }
    if (parts == 0 || !(ms >= 1) || ms > double(std::numeric_limits<qint64>::max() / 2))
        return -1;
    return qint64(std::llround(ms));
}

const char *LogOptions::usage()
{
    return Usage;
}

LogOptions LogOptions::parse(const QStringList &arguments, QString *error)
{
    LogOptions options;
    bool standardOutputAsked = false; // -o -, as against no -o
    error->clear();
    for (int i = 0; i < arguments.size() && error->isEmpty(); ++i) {
        QString name = arguments.at(i);
        QString value;
        bool hasValue = false;
        // --name=value as well as --name value.
        const int equals = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name = name.left(equals);
            hasValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = arguments.at(++i);
            return true;
        };
        const auto bad = [&](const QString &what) { *error = QStringLiteral("%1 %2: %3").arg(name, value, what); };

        if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
            options.help = true;
        } else if (name == QLatin1String("--list")) {
            options.list = true;
        } else if (name == QLatin1String("--reconnect")) {
            options.reconnect = true;
        } else if (name == QLatin1String("--no-reconnect")) {
            options.reconnect = false;
        } else if (name == QLatin1String("--resource")) {
            if (takeValue() && value.isEmpty())
                bad(QStringLiteral("the name is empty"));
            options.resource = value;
        } else if (name == QLatin1String("-o") || name == QLatin1String("--output")) {
            if (takeValue() && value.isEmpty())
                bad(QStringLiteral("the file name is empty"));
            // "-" is standard output, as other tools take it.
            standardOutputAsked = value == QLatin1String("-");
            options.outputPath = standardOutputAsked ? QString() : value;
        } else if (name == QLatin1String("--format")) {
            if (!takeValue())
                break;
            if (value == QLatin1String("csv"))
                options.format = Format::Csv;
            else if (value == QLatin1String("jsonl"))
                options.format = Format::JsonLines;
            else if (value == QLatin1String("influx"))
                options.format = Format::InfluxLines;
            else
                bad(QStringLiteral("csv, jsonl or influx expected"));
        } else if (name == QLatin1String("--influx") || name == QLatin1String("--mqtt")) {
            if (!takeValue())
                break;
            (name == QLatin1String("--influx") ? options.forward.influx : options.forward.mqtt) =
                QUrl(value, QUrl::StrictMode);
        } else if (name == QLatin1String("--mqtt-cafile") || name == QLatin1String("--forward")) {
            if (takeValue() && value.isEmpty())
                bad(QStringLiteral("the file name is empty"));
            // Else every try of the broker would fail in TLS's own words.
            else if (name == QLatin1String("--mqtt-cafile") && !QFileInfo(value).isFile())
                bad(QStringLiteral("no such file"));
            (name == QLatin1String("--forward") ? options.forwardPath : options.forward.mqttCaFile) = value;
        } else if (name == QLatin1String("--flush-timeout")) {
            if (!takeValue())
                break;
            const qint64 ms = parseDuration(value);
            if (ms < 0 || ms > std::numeric_limits<int>::max())
                bad(QStringLiteral("a time such as 30s or 2m expected"));
            else
                options.flushTimeoutMs = int(ms);
        } else if (name == QLatin1String("--interval")) {
            if (!takeValue())
                break;
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok || !(seconds >= 0.001) || seconds > std::numeric_limits<int>::max() / 1000.0)
                bad(QStringLiteral("seconds above 0 expected, such as 1 or 0.5"));
            else
                options.intervalMs = int(std::lround(seconds * 1000));
        } else if (name == QLatin1String("--samples")) {
            if (!takeValue())
                break;
            bool ok = false;
            options.samples = value.toLongLong(&ok);
            if (!ok || options.samples < 1)
                bad(QStringLiteral("a whole number above 0 expected"));
        } else if (name == QLatin1String("--duration")) {
            if (!takeValue())
                break;
            options.durationMs = parseDuration(value);
            if (options.durationMs < 0)
                bad(QStringLiteral("a time such as 90s, 15m or 1h30m expected"));
        } else if (name == QLatin1String("--limit")) {
            if (!takeValue())
                break;
            if (const auto limits = LineLimits::parseForLine(value))
                options.limits[limits->first] = limits->second;
            else
                bad(QStringLiteral("LINE1 or LINE2 = LO:HI expected, either side may be empty"));
        } else if (name == QLatin1String("--stop-when")) {
            if (!takeValue())
                break;
            if (const std::optional<StopCondition> condition = StopCondition::parse(value))
                options.stopConditions.append(*condition);
            else
                bad(QStringLiteral("LINE1 or LINE2, then < or >, then a value expected, such as LINE1<3.2"));
        } else if (const SettingOption *setting = settingOption(name)) {
            if (!takeValue())
                break;
            if (const std::optional<SettingRequest> request = setting->parse(value))
                options.settings.append(*request);
            else
                bad(QString::fromLatin1(setting->expected));
        } else {
            *error = QStringLiteral("unknown option %1").arg(name);
        }
    }
    if (error->isEmpty())
        *error = options.forward.error();
    if (error->isEmpty() && !options.forward.isEmpty() && options.format != Format::Csv)
        *error = QStringLiteral("--influx and --mqtt send from the journal, which is CSV; --format is for standard output");
    if (error->isEmpty() && !options.forward.isEmpty() && standardOutputAsked)
        *error = QStringLiteral("--influx and --mqtt send from the journal, a file; -o - would write none");
    if (error->isEmpty() && !options.forwardPath.isEmpty() && options.forward.isEmpty())
        *error = QStringLiteral("--forward needs --influx or --mqtt");
    return options;
}
