#include "text/transfer_command.h"

#include <iterator>
#include <stdexcept>

namespace {

struct VerbSpec
{
    const char *name;
    TransferVerb verb;
    int minArgs;
    int maxArgs;
    const char *usage;
};

// One row per accepted spelling; aliases share a verb.
constexpr VerbSpec kVerbs[] = {
    {"GET", TransferVerb::Get, 1, 2, "GET remote-file [local-file]"},
    {"RECV", TransferVerb::Get, 1, 2, "RECV remote-file [local-file]"},
    {"REGET", TransferVerb::Reget, 1, 2, "REGET remote-file [local-file]"},
    {"PUT", TransferVerb::Put, 1, 2, "PUT local-file [remote-file]"},
    {"SEND", TransferVerb::Put, 1, 2, "SEND local-file [remote-file]"},
    {"REPUT", TransferVerb::Reput, 1, 2, "REPUT local-file [remote-file]"},
    {"CD", TransferVerb::Cd, 1, 1, "CD folder"},
    {"CDUP", TransferVerb::Cdup, 0, 0, "CDUP"},
    {"DIR", TransferVerb::Dir, 0, 1, "DIR [folder]"},
    {"LS", TransferVerb::Ls, 0, 1, "LS [folder]"},
    {"PWD", TransferVerb::Pwd, 0, 0, "PWD"},
    {"SIZE", TransferVerb::Size, 1, 1, "SIZE remote-file"},
    {"MKDIR", TransferVerb::Mkdir, 1, 1, "MKDIR folder"},
    {"RMDIR", TransferVerb::Rmdir, 1, 1, "RMDIR folder"},
    {"DELETE", TransferVerb::Delete, 1, 1, "DELETE remote-file"},
    {"RENAME", TransferVerb::Rename, 2, 2, "RENAME old-name new-name"},
    {"CLOSE", TransferVerb::Close, 0, 0, "CLOSE"},
    {"QUIT", TransferVerb::Close, 0, 0, "QUIT"},
    {"CHECK", TransferVerb::Check, 0, 1, "CHECK [folder]"},
    {"HASH", TransferVerb::Hash, 1, 2, "HASH remote-file [local-file]"},
    {"ABORT", TransferVerb::Abort, 0, 0, "ABORT"},
    {"CANCEL", TransferVerb::Abort, 0, 0, "CANCEL"},
    {"IDLETEST", TransferVerb::Idletest, 0, 1, "IDLETEST [max-seconds]"},
    {"SOAK", TransferVerb::Soak, 0, 2, "SOAK [rounds] [folder]"},
    {"TIMEOUT", TransferVerb::Timeout, 0, 1, "TIMEOUT [seconds]"},
    {"KEEPALIVE", TransferVerb::Keepalive, 0, 1, "KEEPALIVE [seconds|OFF]"},
    {"PROXY", TransferVerb::Proxy, 0, 1, "PROXY [socks5://|socks5h://|http://host:port | OFF]"},
};

[[noreturn]] void reject(const QString &message)
{
    throw std::invalid_argument(message.toStdString());
}

QStringList splitArguments(const QString &text)
{
    QStringList words;
    QString word;
    bool inQuotes = false;
    bool haveWord = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            haveWord = true;
        } else if (c == QLatin1Char(' ') && !inQuotes) {
            if (haveWord)
                words.append(word);
            word.clear();
            haveWord = false;
        } else {
            word.append(c);
            haveWord = true;
        }
    }
    if (inQuotes)
        reject(QStringLiteral("The command has an opening double quote without a closing one."));
    if (haveWord)
        words.append(word);
    return words;
}

// Whether row `i` of kVerbs is another spelling of the verb before it.
bool isAlias(size_t i)
{
    return i > 0 && kVerbs[i].verb == kVerbs[i - 1].verb;
}

// "(RE)GET (RE)PUT CD ...": each verb once, in one line that fits a status
// bar, so spaces alone part them; a verb and its resuming form ("RE" before
// it) go together. The session's settings (TIMEOUT, KEEPALIVE, PROXY) are
// left to the forms after it.
QString acceptedFtpVerbs()
{
    QStringList names;
    for (size_t i = 0; i < std::size(kVerbs); ++i) {
        if (isAlias(i) || isSessionSetting(kVerbs[i].verb))
            continue;
        const QString name = QLatin1String(kVerbs[i].name);
        const qsizetype plain = names.indexOf(name.mid(2));
        if (name.startsWith(QLatin1String("RE")) && plain >= 0)
            names[plain] = QStringLiteral("(RE)") + names[plain];
        else
            names << name;
    }
    return names.join(QLatin1Char(' '));
}

// A refusal for want of a known verb: one line naming the verbs, then every
// command's form with its other spellings, one a line.
[[noreturn]] void rejectVerb(const QString &firstLine)
{
    QStringList usages;
    for (size_t i = 0; i < std::size(kVerbs); ++i) {
        if (isAlias(i))
            usages.last() += QStringLiteral(" (also %1)").arg(QLatin1String(kVerbs[i].name));
        else
            usages << QLatin1String(kVerbs[i].usage);
    }
    reject(QStringLiteral("%1: %2.\n%3")
               .arg(firstLine, acceptedFtpVerbs(), usages.join(QLatin1Char('\n'))));
}

// C0 controls, DEL and the C1 range: a server may end or cut a command at any
// of them (a NUL ends a C string), so a name holding one is not the name sent.
bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f);
}

// Verbs are ASCII: a locale's case rules must not turn "dır" into "DIR".
// Anything outside ASCII stays as typed, so it matches no verb.
QString asciiUpper(const QString &word)
{
    QString upper = word;
    for (QChar &c : upper)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    return upper;
}

bool allDigits(const QString &word)
{
    bool digits = !word.isEmpty();
    for (const QChar c : word)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    return digits;
}

// SOAK's rounds, when it names them: digits only, as TIMEOUT's seconds.
void checkRounds(const QStringList &words, const VerbSpec &spec)
{
    if (words.isEmpty() || (words.size() == 1 && !allDigits(words.first())))
        return; // a folder alone
    const QString &word = words.first();
    const int rounds = allDigits(word) && word.size() <= 6 ? word.toInt() : 0;
    if (rounds < 1 || rounds > MaxSoakRounds)
        reject(QStringLiteral("%1 takes a whole number of rounds from 1 to %2: %3")
                   .arg(QLatin1String(spec.name))
                   .arg(MaxSoakRounds)
                   .arg(QLatin1String(spec.usage)));
}

// The seconds of TIMEOUT, KEEPALIVE and IDLETEST: digits only, so "1e3",
// "+5" and " 5" are refused rather than read as something the operator may
// not have meant.
void checkSeconds(const QString &word, const VerbSpec &spec)
{
    bool digits = word.size() <= 4;
    for (const QChar c : word)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int seconds = digits ? word.toInt() : 0;
    if (seconds < 1 || seconds > MaxTimeoutSeconds)
        reject(QStringLiteral("%1 takes a whole number of seconds from 1 to %2: %3")
                   .arg(QLatin1String(spec.name))
                   .arg(MaxTimeoutSeconds)
                   .arg(QLatin1String(spec.usage)));
}

bool isOff(const QStringList &words)
{
    return words.size() == 1 && asciiUpper(words.first()) == QLatin1String(KeepaliveOff);
}

} // namespace

TransferCommand parseTransferCommand(const QString &text)
{
    // A line break would end the FTP command early and start another one.
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
        reject(QStringLiteral("The command contains a line break; names may not hold CR or LF."));
    for (const QChar c : text)
        if (isControl(c))
            reject(QStringLiteral("The command contains a control character (U+%1); names may "
                                  "not hold control characters.")
                       .arg(QString::number(c.unicode(), 16)
                                .rightJustified(4, QLatin1Char('0'))
                                .toUpper()));

    QStringList words = splitArguments(text);
    if (words.isEmpty())
        rejectVerb(QStringLiteral("No command given"));

    const QString name = asciiUpper(words.takeFirst());
    for (const VerbSpec &spec : kVerbs) {
        if (name != QLatin1String(spec.name))
            continue;
        if (words.size() < spec.minArgs) {
            const QString what = spec.verb == TransferVerb::Cd ||
                                         spec.verb == TransferVerb::Mkdir ||
                                         spec.verb == TransferVerb::Rmdir
                                     ? QStringLiteral("a folder name")
                                     : QStringLiteral("more names");
            reject(QStringLiteral("%1 needs %2: %3").arg(name, what, QLatin1String(spec.usage)));
        }
        if (words.size() > spec.maxArgs)
            reject(QStringLiteral("Too many names for %1 (put a name with spaces in double "
                                  "quotes): %2")
                       .arg(name, QLatin1String(spec.usage)));
        for (const QString &word : std::as_const(words))
            if (word.isEmpty())
                reject(QStringLiteral("%1 was given an empty name: %2")
                           .arg(name, QLatin1String(spec.usage)));
        const bool timed = spec.verb == TransferVerb::Timeout ||
                           spec.verb == TransferVerb::Idletest ||
                           (spec.verb == TransferVerb::Keepalive && !isOff(words));
        if (timed && !words.isEmpty())
            checkSeconds(words.first(), spec);
        // OFF in the one spelling the rest of the system compares with.
        if (spec.verb == TransferVerb::Keepalive && isOff(words))
            words = QStringList{QString::fromLatin1(KeepaliveOff)};
        if (spec.verb == TransferVerb::Soak)
            checkRounds(words, spec);
        return {spec.verb, words};
    }
    rejectVerb(QStringLiteral("Unknown \"%1\"").arg(name));
}

bool isSessionSetting(TransferVerb verb)
{
    return verb == TransferVerb::Timeout || verb == TransferVerb::Keepalive ||
           verb == TransferVerb::Proxy;
}

SoakArguments soakArguments(const QStringList &args)
{
    SoakArguments soak;
    QStringList rest = args;
    if (!rest.isEmpty() && allDigits(rest.first()))
        soak.rounds = rest.takeFirst().toInt();
    soak.folder = rest.value(0);
    return soak;
}

QString transferVerbName(TransferVerb verb)
{
    if (verb == TransferVerb::Quote)
        return QStringLiteral("QUOTE");
    if (verb == TransferVerb::Noop)
        return QStringLiteral("NOOP");
    for (const VerbSpec &spec : kVerbs)
        if (spec.verb == verb)
            return QLatin1String(spec.name);
    return {};
}

QStringList ftpVerbSpellings()
{
    QStringList names;
    for (const VerbSpec &spec : kVerbs)
        names << QLatin1String(spec.name);
    return names;
}
