#pragma once

#include "core/checklog.h"
#include "core/identity.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <stop_token>
#include <thread>

// The results of one update check, kept by the check's owner (the main window) and
// written by its worker. The worker writes everything else first and sets `finished` last
// (release); the owner reads the rest only after it has seen `finished` set (acquire).
// No lock is taken.
struct CheckResults {
    std::atomic<bool> finished{false};
    bool newVersion = false;
    QString offeredVersion;
    QString downloadAddress;
    int showUpdate = 1; // ShowUpdate as read at the start of the run
    CheckLog log;
};

// What a run takes from its surroundings; tests replace single members.
struct CheckInputs {
    std::function<QString()> fullTitle;
    std::function<QString()> versionText;
    std::function<QString()> today;      // today's date in the user's short date format
    std::function<QString()> localeName; // may throw: the "local=" field is then left out
    std::function<QString()> machineId;  // may throw: logged, "guid=" sent empty
    std::function<QString()> osDescription;
    int timeoutMs = 10000;

    // The given product identity, the system clock and locale, the machine identifier and
    // the operating-system description.
    static CheckInputs system(const ProductIdentity& product);
};

// One run: counts the program's runs, applies the daily limit, asks the maker's service
// for the current version and decides whether the user is told. Never throws; failures
// go to results.log. results.finished is set on every path. A stop request cuts a waiting
// request short; the run then ends as if the service could not be reached.
void CheckNow(CheckResults& results, const CheckInputs& inputs, std::stop_token stop = {});

// The worker thread of one check: starts at once and runs CheckNow into the owner's results.
// Destroying it asks a running check to stop and waits for the thread, which then ends
// within moments, so the worker never outlives the results it writes and the program's
// exit is not held up by the network.
class TChecker {
public:
    TChecker(CheckResults& results, CheckInputs inputs);
    TChecker(const TChecker&) = delete;
    TChecker& operator=(const TChecker&) = delete;

private:
    void Execute(std::stop_token stop);

    CheckResults& m_results;
    const CheckInputs m_inputs;
    std::jthread m_thread; // last: joined before the members it uses are gone
};

// The pieces of a run, open to checking on their own.
namespace checker {

// Lines split at CR, LF or CR LF; a trailing break adds no empty line; a NUL ends the text.
QStringList splitReplyLines(const QString& reply);

// The longest offered version and download address taken from a reply; anything longer
// is no update on offer, and is neither shown nor kept.
inline constexpr qsizetype maxVersionLength = 32;
inline constexpr qsizetype maxAddressLength = 2048;

// The text between "<tag>" and "</tag>" when the line is exactly that; else empty.
QString tagValue(const QString& line, const QString& tag);

// Optional leading blanks, an optional sign, decimal digits or hexadecimal digits after
// "$", "x", "X", "0x" or "0X", nothing after them, within the 32-bit range.
bool isInt32Text(const QString& text);

// The request fields in the order the service expects them.
QStringList requestFields(const CheckInputs& inputs, const QString& machineId, int howMany,
                          CheckLog& log);

} // namespace checker
