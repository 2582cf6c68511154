#include "core/checker.h"

#include "core/apperror.h"
#include "core/formpost.h"
#include "core/identity.h"
#include "core/maker.h"
#include "core/settingsstore.h"
#include "core/textlines.h"
#include "core/translate.h"
#include "core/urlscrambler.h"
#include "platform/machineid.h"
#include "platform/osdescription.h"

#include <QDate>
#include <QLocale>
#include <limits>
#include <optional>

namespace {

const QString showUpdateName = QStringLiteral("ShowUpdate");
const QString howManyName = QStringLiteral("HowMany");
const QString installedVersionName = QStringLiteral("InstalledVersion");
const QString lastCheckName = QStringLiteral("LastUpdateCheck");
const QString lastCheckCountName = QStringLiteral("LastUpdateCheckCount");
const QString currentVersionName = QStringLiteral("CurrentVersion");
const QString currentUrlName = QStringLiteral("CurrentURL");

constexpr int dailyRequestLimit = 5;
constexpr int noticesPerDay = 3;

// The class name that heads a log entry for an error nobody expected.
QString errorClassName(const std::exception& error) {
    if (dynamic_cast<const AppError*>(&error) != nullptr)
        return QStringLiteral("AppError");
    return QStringLiteral("std::exception");
}

QString errorMessage(const std::exception& error) {
    if (const auto* appError = dynamic_cast<const AppError*>(&error))
        return appError->message();
    return QString::fromLocal8Bit(error.what());
}

void logUnexpected(CheckLog& log, const std::exception& error) {
    log.append(errorClassName(error) + QStringLiteral(" Error:\r") + errorMessage(error));
}

// Sets the finished flag when the run leaves CheckNow, whichever way it leaves.
class FinishedOnExit {
public:
    explicit FinishedOnExit(std::atomic<bool>& flag) : m_flag(flag) {}
    FinishedOnExit(const FinishedOnExit&) = delete;
    FinishedOnExit& operator=(const FinishedOnExit&) = delete;
    ~FinishedOnExit() { m_flag.store(true, std::memory_order_release); }

private:
    std::atomic<bool>& m_flag;
};

QString readStringOr(const SettingsStore& store, const QString& name, const QString& fallback) {
    try {
        return store.readString(name);
    } catch (const std::exception&) {
        return fallback;
    }
}

int readIntegerOr(const SettingsStore& store, const QString& name, int defaultValue) {
    try {
        return store.readInteger(name, defaultValue);
    } catch (const std::exception&) {
        return defaultValue;
    }
}

// The value of an ASCII digit in the base, or -1.
int digitValue(QChar c, int base) {
    const int value = hexDigitValue(c);
    return value < base ? value : -1;
}

} // namespace

CheckInputs CheckInputs::system(const ProductIdentity& product) {
    CheckInputs inputs;
    inputs.fullTitle = [title = product.fullTitle] { return title; };
    inputs.versionText = [version = product.versionText] { return version; };
    inputs.today = [] {
        return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    };
    inputs.localeName = [] { return ::localeName(); };
    inputs.machineId = [] {
        const platform::MachineIdentifier id = platform::machineIdentifier();
        if (!id.error.isEmpty())
            throw AppError(id.error);
        return id.value;
    };
    inputs.osDescription = [] { return platform::operatingSystemDescription(); };
    return inputs;
}

namespace checker {

QStringList splitReplyLines(const QString& reply) {
    const qsizetype nul = reply.indexOf(QChar(0));
    return splitLines(nul < 0 ? reply : reply.left(nul));
}

QString tagValue(const QString& line, const QString& tag) {
    const QString open = QLatin1Char('<') + tag + QLatin1Char('>');
    const QString close = QStringLiteral("</") + tag + QLatin1Char('>');
    if (line.size() < open.size() + close.size() || !line.startsWith(open) || !line.endsWith(close))
        return {};
    return line.mid(open.size(), line.size() - open.size() - close.size());
}

bool isInt32Text(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (text.mid(i, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        i += 2;
    } else if (i < text.size() &&
               (text.at(i) == QLatin1Char('$') || text.at(i) == QLatin1Char('x') ||
                text.at(i) == QLatin1Char('X'))) {
        base = 16;
        ++i;
    }
    if (i >= text.size())
        return false;
    // Hexadecimal may use all 32 bits; decimal must fit a signed 32-bit integer.
    const qint64 limit = base == 16 ? qint64{0xFFFFFFFF}
                                    : (negative ? -qint64{std::numeric_limits<qint32>::min()}
                                                : qint64{std::numeric_limits<qint32>::max()});
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text.at(i), base);
        if (digit < 0)
            return false;
        value = value * base + digit;
        if (value > limit)
            return false;
    }
    return true;
}

QStringList requestFields(const CheckInputs& inputs, const QString& machineId, int howMany,
                          CheckLog& log) {
    QStringList fields;
    fields << QStringLiteral("cmd=check") << QStringLiteral("appname=") + inputs.fullTitle()
           << QStringLiteral("version=") + inputs.versionText()
           << QStringLiteral("os=") + inputs.osDescription();
    try {
        fields << QStringLiteral("local=") + inputs.localeName();
    } catch (const std::exception&) {
        log.append(QStringLiteral("Error: LocaleName2 problem!"));
    }
    fields << QStringLiteral("guid=") + machineId
           << QStringLiteral("howmany=") + QString::number(howMany);
    return fields;
}

} // namespace checker

namespace {

// What the steps of one run share once the limits have let it go on.
struct RunState {
    QString versionText;
    QString machineId;
    QString lastCheck;
    QString today;
    int howMany = 0;
    int dayCount = 0;
};

// Opens the store, counts the run and applies the switch and the daily limit. Empty when
// the run ends here; the request may be made otherwise.
std::optional<RunState> countRunWithinLimits(CheckResults& results, const CheckInputs& inputs,
                                             const SettingsStore& store) {
    CheckLog& log = results.log;
    RunState run;
    run.versionText = inputs.versionText();
    try {
        run.machineId = inputs.machineId();
    } catch (const std::exception&) {
        log.append(QStringLiteral("Error: GUID generate problem!"));
    }
    try {
        store.open();
    } catch (const std::exception&) {
        log.append(QStringLiteral("Error: Registry open problem!"));
    }

    run.lastCheck = readStringOr(store, lastCheckName, QString());
    const int lastCheckCount = readIntegerOr(store, lastCheckCountName, 0);
    const QString installedVersion = readStringOr(store, installedVersionName, QString());

    // The run counter restarts with every new version. Without it stored the run cannot
    // be counted: it ends here, finished all the same.
    try {
        run.howMany = std::max(store.readInteger(howManyName, 0), 0);
        if (installedVersion != run.versionText)
            run.howMany = 0;
        ++run.howMany;
        store.writeInteger(howManyName, run.howMany);
        store.writeString(installedVersionName, run.versionText);
    } catch (const std::exception& error) {
        logUnexpected(log, error);
        return std::nullopt;
    }

    const QString storedUrl = readStringOr(store, currentUrlName, QString());
    if (!storedUrl.isEmpty()) {
        const QString address = urlscrambler::unscramble(storedUrl);
        if (address.size() <= checker::maxAddressLength)
            results.downloadAddress = address;
    }

    results.showUpdate = readIntegerOr(store, showUpdateName, 1);
    if (results.showUpdate == 0)
        return std::nullopt;

    run.today = inputs.today();
    if (run.lastCheck == run.today && lastCheckCount >= dailyRequestLimit)
        return std::nullopt;

    run.dayCount = run.lastCheck == run.today ? lastCheckCount + 1 : 1;
    try {
        store.writeString(lastCheckName, run.today);
        store.writeInteger(lastCheckCountName, run.dayCount);
    } catch (const std::exception&) {
        // The day's count only limits requests; losing it must not stop this one.
    }
    return run;
}

// Posts the request, HTTPS first; the reply's lines, or none when both schemes failed.
QStringList requestCheck(const CheckInputs& inputs, const RunState& run, CheckLog& log,
                         std::stop_token stop) {
    const QStringList fields = checker::requestFields(inputs, run.machineId, run.howMany, log);
    bool overPlainHttp = false;
    try {
        QStringList lines = checker::splitReplyLines(postToMakerService(
            maker::checkPath, fields, inputs.timeoutMs,
            [&](const AppError& secureError) {
                log.append(QStringLiteral("HTTPS Response:\r") + secureError.message());
                overPlainHttp = true;
            },
            std::move(stop)));
        // An answer over HTTP makes the failed HTTPS attempt no longer an error.
        if (overPlainHttp)
            log.clear();
        return lines;
    } catch (const AppError& error) {
        // A check stopped during its HTTPS attempt never made the HTTP one.
        log.append((overPlainHttp ? QStringLiteral("HTTP Response:\r")
                                  : QStringLiteral("HTTPS Response:\r")) +
                   error.message());
        return {};
    }
}

// Takes the offered version and download address from a valid reply and keeps them in the
// store. False when nothing is on offer: an invalid reply, an earlier error, or a version
// or address too long to be a real one.
bool takeReply(CheckResults& results, const SettingsStore& store, const QStringList& lines) {
    CheckLog& log = results.log;
    if (!lines.isEmpty() && lines.first().startsWith(QLatin1String("ERROR")))
        log.append(QStringLiteral("INVALIDSERVERRESPONSE"));
    if (!log.hasError()) {
        const QString result = lines.size() >= 4
                                   ? checker::tagValue(lines.at(3), QStringLiteral("result"))
                                   : QString();
        if (result != QLatin1String("0") && result != QLatin1String("1"))
            log.append(QStringLiteral("INVALIDSERVERRESPONSE"));
    }
    if (log.hasError())
        return false;

    const QString offered = checker::tagValue(lines.at(0), QStringLiteral("version"));
    const QString address = checker::tagValue(lines.at(1), QStringLiteral("url"));
    if (offered.size() > checker::maxVersionLength || address.size() > checker::maxAddressLength)
        return false;

    results.offeredVersion = offered;
    try {
        store.writeString(currentVersionName, offered);
    } catch (const std::exception&) {
        // Only remembered for the record; the run goes on without it.
    }
    results.downloadAddress = address;
    try {
        store.writeString(currentUrlName, urlscrambler::scramble(address));
    } catch (const std::exception&) {
        // As above: the address of this run is known, storing it is a courtesy.
    }
    return true;
}

// Whether the user is told: another version whose digits form a number, notices on, and
// no more than three notices a day.
bool offersNewVersion(const CheckResults& results, const RunState& run) {
    QString digits = results.offeredVersion;
    digits.remove(QLatin1Char('.'));
    return results.offeredVersion != run.versionText && checker::isInt32Text(digits) &&
           results.showUpdate == 1 && (run.lastCheck != run.today || run.dayCount <= noticesPerDay);
}

} // namespace

void CheckNow(CheckResults& results, const CheckInputs& inputs, std::stop_token stop) {
    results.finished.store(false, std::memory_order_relaxed);
    const FinishedOnExit finishedOnExit(results.finished);
    results.newVersion = false;
    results.offeredVersion.clear();
    results.downloadAddress.clear();
    results.showUpdate = 1;
    results.log.clear();

    const SettingsStore store(settings::settingsKeyName(inputs.fullTitle()));
    const std::optional<RunState> run = countRunWithinLimits(results, inputs, store);
    if (!run)
        return;
    try {
        const QStringList lines = requestCheck(inputs, *run, results.log, std::move(stop));
        if (takeReply(results, store, lines))
            results.newVersion = offersNewVersion(results, *run);
    } catch (const std::exception& error) {
        logUnexpected(results.log, error);
    }
}

TChecker::TChecker(CheckResults& results, CheckInputs inputs)
    : m_results(results), m_inputs(std::move(inputs)) {
    // Cleared before the thread exists, so a watcher never sees an earlier run's flag.
    m_results.finished.store(false, std::memory_order_relaxed);
    m_thread = std::jthread([this](std::stop_token stop) { Execute(std::move(stop)); });
}

void TChecker::Execute(std::stop_token stop) {
    try {
        CheckNow(m_results, m_inputs, std::move(stop));
    } catch (...) {
        // CheckNow records its failures and sets the finished flag on every way out; an
        // exception escaping a thread would end the whole program.
    }
}
