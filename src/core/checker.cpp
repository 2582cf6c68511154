#include "core/checker.h"

#include "core/apperror.h"
#include "core/formpost.h"
#include "core/identity.h"
#include "core/maker.h"
#include "core/textlines.h"
#include "core/translate.h"
#include "core/urlscrambler.h"
#include "platform/machineid.h"
#include "platform/osdescription.h"

#include <QDate>
#include <QLocale>
#include <limits>
#include <thread>

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

CheckResults& checkResults() {
    // Never destroyed: a worker still waiting on the network at exit must not find its
    // results gone.
    static CheckResults* const results = new CheckResults;
    return *results;
}

CheckInputs CheckInputs::system() {
    CheckInputs inputs;
    inputs.fullTitle = [] { return identity::product().fullTitle; };
    inputs.versionText = [] { return identity::product().versionText; };
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

void CheckNow(CheckResults& results, const CheckInputs& inputs) {
    results.finished.store(false, std::memory_order_relaxed);
    const FinishedOnExit finishedOnExit(results.finished);
    results.newVersion = false;
    results.offeredVersion.clear();
    results.downloadAddress.clear();
    results.showUpdate = 1;
    CheckLog& log = results.log;
    log.clear();

    const QString versionText = inputs.versionText();
    const QString keyName = settings::settingsKeyName(inputs.fullTitle());
    QString machineId;
    try {
        machineId = inputs.machineId();
    } catch (const std::exception&) {
        log.append(QStringLiteral("Error: GUID generate problem!"));
    }
    results.store = std::make_unique<SettingsStore>(keyName);
    const SettingsStore& store = *results.store;
    try {
        store.open();
    } catch (const std::exception&) {
        log.append(QStringLiteral("Error: Registry open problem!"));
    }

    const QString lastCheck = readStringOr(store, lastCheckName, QString());
    const int lastCheckCount = readIntegerOr(store, lastCheckCountName, 0);
    const QString installedVersion = readStringOr(store, installedVersionName, QString());

    // The run counter restarts with every new version. Without it stored the run cannot
    // be counted: it ends here, finished all the same.
    int howMany = 0;
    try {
        howMany = std::max(store.readInteger(howManyName, 0), 0);
        if (installedVersion != versionText)
            howMany = 0;
        ++howMany;
        store.writeInteger(howManyName, howMany);
        store.writeString(installedVersionName, versionText);
    } catch (const std::exception& error) {
        logUnexpected(log, error);
        return;
    }

    const QString storedUrl = readStringOr(store, currentUrlName, QString());
    if (!storedUrl.isEmpty())
        results.downloadAddress = urlscrambler::unscramble(storedUrl);

    results.showUpdate = readIntegerOr(store, showUpdateName, 1);
    if (results.showUpdate == 0)
        return;

    const QString today = inputs.today();
    if (lastCheck == today && lastCheckCount >= dailyRequestLimit)
        return;

    const int dayCount = lastCheck == today ? lastCheckCount + 1 : 1;
    try {
        store.writeString(lastCheckName, today);
        store.writeInteger(lastCheckCountName, dayCount);
    } catch (const std::exception&) {
        // The day's count only limits requests; losing it must not stop this one.
    }

    try {
        const QStringList fields = checker::requestFields(inputs, machineId, howMany, log);
        QStringList lines;
        bool overPlainHttp = false;
        try {
            lines = checker::splitReplyLines(postToMakerService(
                maker::checkPath, fields, inputs.timeoutMs, [&](const AppError& secureError) {
                    log.append(QStringLiteral("HTTPS Response:\r") + secureError.message());
                    overPlainHttp = true;
                }));
            // An answer over HTTP makes the failed HTTPS attempt no longer an error.
            if (overPlainHttp)
                log.clear();
        } catch (const AppError& plainError) {
            log.append(QStringLiteral("HTTP Response:\r") + plainError.message());
        }

        if (!lines.isEmpty() && lines.first().startsWith(QLatin1String("ERROR")))
            log.append(QStringLiteral("INVALIDSERVERRESPONSE"));
        if (!log.hasError()) {
            const QString result = lines.size() >= 4
                                       ? checker::tagValue(lines.at(3), QStringLiteral("result"))
                                       : QString();
            if (result != QLatin1String("0") && result != QLatin1String("1"))
                log.append(QStringLiteral("INVALIDSERVERRESPONSE"));
        }
        if (!log.hasError()) {
            if (!lines.isEmpty()) {
                results.offeredVersion = checker::tagValue(lines.at(0), QStringLiteral("version"));
                try {
                    store.writeString(currentVersionName, results.offeredVersion);
                } catch (const std::exception&) {
                    // Only remembered for the record; the run goes on without it.
                }
            }
            if (lines.size() >= 2) {
                results.downloadAddress = checker::tagValue(lines.at(1), QStringLiteral("url"));
                try {
                    store.writeString(currentUrlName,
                                      urlscrambler::scramble(results.downloadAddress));
                } catch (const std::exception&) {
                    // As above: the address of this run is known, storing it is a courtesy.
                }
            }
            QString digits = results.offeredVersion;
            digits.remove(QLatin1Char('.'));
            results.newVersion = results.offeredVersion != versionText &&
                                 checker::isInt32Text(digits) && results.showUpdate == 1 &&
                                 (lastCheck != today || dayCount <= noticesPerDay);
        }
    } catch (const std::exception& error) {
        logUnexpected(log, error);
    }
}

TChecker::TChecker(CheckResults& results, CheckInputs inputs)
    : m_results(results), m_inputs(std::move(inputs)) {}

void TChecker::start(CheckResults& results, CheckInputs inputs) {
    results.finished.store(false, std::memory_order_relaxed);
    std::unique_ptr<TChecker> checker(new TChecker(results, std::move(inputs)));
    // The thread owns the worker and frees it when the run is over.
    std::thread([self = std::move(checker)] { self->Execute(); }).detach();
}

void TChecker::Execute() {
    try {
        CheckNow(m_results, m_inputs);
    } catch (...) {
        // CheckNow records its failures and sets the finished flag on every way out; an
        // exception escaping a thread would end the whole program.
    }
}
