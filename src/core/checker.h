#pragma once

#include "core/checklog.h"
#include "core/settingsstore.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

// The results of one update check. The worker writes everything else first and sets
// `finished` last (release); the main thread reads the rest only after it has seen
// `finished` set (acquire). No lock is taken.
struct CheckResults {
    std::atomic<bool> finished{false};
    bool newVersion = false;
    QString offeredVersion;
    QString downloadAddress;
    int showUpdate = 1; // ShowUpdate as read at the start of the run
    CheckLog log;
    // Opened by the worker; used by the notification switch once the run has finished.
    std::unique_ptr<SettingsStore> store;
};

// The process-wide results that the main window watches.
CheckResults& checkResults();

// What a run takes from its surroundings; tests replace single members.
struct CheckInputs {
    std::function<QString()> fullTitle;
    std::function<QString()> versionText;
    std::function<QString()> today;      // today's date in the user's short date format
    std::function<QString()> localeName; // may throw: the "local=" field is then left out
    std::function<QString()> machineId;  // may throw: logged, "guid=" sent empty
    std::function<QString()> osDescription;
    int timeoutMs = 10000;

    // The product identity, the system clock and locale, /etc/machine-id, os-release.
    static CheckInputs system();
};

// One run: counts the program's runs, applies the daily limit, asks the maker's service
// for the current version and decides whether the user is told. Never throws; failures
// go to results.log. results.finished is set on every path.
void CheckNow(CheckResults& results, const CheckInputs& inputs);

// The worker thread: starts at once, runs CheckNow and frees itself. Nothing waits for it.
class TChecker {
public:
    // Clears `finished` before the thread exists, so a watcher never sees an earlier run's.
    static void start(CheckResults& results = checkResults(),
                      CheckInputs inputs = CheckInputs::system());

private:
    TChecker(CheckResults& results, CheckInputs inputs);
    void Execute();

    CheckResults& m_results;
    CheckInputs m_inputs;
};

// The pieces of a run, open to checking on their own.
namespace checker {

// Lines split at CR, LF or CR LF; a trailing break adds no empty line; a NUL ends the text.
QStringList splitReplyLines(const QString& reply);

// The text between "<tag>" and "</tag>" when the line is exactly that; else empty.
QString tagValue(const QString& line, const QString& tag);

// Optional leading blanks, an optional sign, decimal digits or hexadecimal digits after
// "$", "x", "X", "0x" or "0X", nothing after them, within the 32-bit range.
bool isInt32Text(const QString& text);

// The request fields in the order the service expects them.
QStringList requestFields(const CheckInputs& inputs, const QString& machineId, int howMany,
                          CheckLog& log);

} // namespace checker
