#include "CliArgs.h"

CliArgs CliArgs::parse(const QStringList &arguments, const QSet<QString> &valued)
{
    CliArgs args;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--json")) {
            args.json = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            args.help = true;
        } else if (arg == QLatin1String("--version")) {
            args.version = true;
        } else if (arg.startsWith(QLatin1String("--")) && arg.size() > 2) {
            QString name = arg.mid(2);
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            if (eq >= 0) {
                args.options.insert(name.left(eq), name.mid(eq + 1));
            } else if (valued.contains(name) && i + 1 < arguments.size()) {
                args.options.insert(name, arguments.at(++i));
            } else {
                args.flags.insert(name);
            }
        } else if (args.command.isEmpty()) {
            args.command = arg;
        } else {
            args.positional.append(arg);
        }
    }
    return args;
}

int CliArgs::intOption(const QString &name, int fallback, bool *ok) const
{
    if (!options.contains(name))
        return fallback;
    bool parsed = false;
    const int value = options.value(name).toInt(&parsed);
    if (!parsed && ok)
        *ok = false;
    return parsed ? value : fallback;
}
