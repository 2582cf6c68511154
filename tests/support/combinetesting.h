#pragma once

#include "core/combine.h"
#include "support/qtprinters.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct _xmlDoc;

// What the combine told its reporter, in order: the event, its file and, for a failed
// load, the error's message.
struct ReportedMessage {
    enum Kind { Skipped, Failed, Saved, Interrupted };
    Kind kind;
    QString file;
    QString error = {};
    bool operator==(const ReportedMessage&) const = default;
};
std::ostream& operator<<(std::ostream& out, const ReportedMessage& message);

class RecordingReporter : public CombineReporter {
public:
    void skipped(const QString& file) override {
        messages.push_back({ReportedMessage::Skipped, file});
    }
    void failedToLoad(const QString& file, const xml::LoadError& error) override {
        messages.push_back({ReportedMessage::Failed, file, error.message()});
    }
    void saved(const QString& output) override {
        messages.push_back({ReportedMessage::Saved, output});
    }
    void interrupted(const QString& file) override {
        messages.push_back({ReportedMessage::Interrupted, file});
    }
    void progress(int filesDone, int filesTotal, std::uint64_t bytesRead) override {
        lastProgress = {filesDone, filesTotal, bytesRead};
    }
    std::vector<ReportedMessage> messages;
    struct Progress {
        int filesDone = 0;
        int filesTotal = 0;
        std::uint64_t bytesRead = 0;
    } lastProgress;
};

// The export done the plain way, as a reference: every file loaded into a libxml2 tree
// by the document layer, deep copies of the further roots' children appended to the
// base's root, each copy declaring the namespaces in scope on its own root that the base
// does not have, the tree serialised. Its messages match the streamed export's.
struct DomCombineResult {
    std::vector<ReportedMessage> messages;
    std::optional<std::string> description; // describeDocument() of what would be written
    std::optional<QString> error;           // the base's load error
};
DomCombineResult domCombine(const QStringList& inputs, const QString& outputPath);

// A description of a document as a plain parser reads it back: every node with its type,
// namespace URI, prefix, local name, attributes and text, and for every element the
// namespaces in scope on it (so that prefixes used inside values can be checked), one per
// line. Two documents
// with the same description hold the same information whatever their byte form.
// A document that does not parse gives "not well-formed: " and the reason.
std::string describeXml(const std::string& bytes);
// The same for a tree; parsedWithoutSubstitution for one that libxml2 parsed without entity
// substitution, which leaves a "&" in a namespace name as "&#38;".
std::string describeDocument(const _xmlDoc* doc, bool parsedWithoutSubstitution);

// Runs the streamed export and the reference on the same files and compares messages,
// errors and documents. Returns an empty text when they agree, else what differs.
std::string compareWithDom(const QStringList& inputs, const QString& outputPath);

// A fuzz input or corpus file holds several documents separated by the byte 0x01, which
// no XML document contains.
std::vector<std::string> splitDocuments(const std::string& bytes);

// Writes each document of a corpus file into its own file in the folder, in order, and
// returns their paths.
QStringList writeCorpusInputs(const QString& corpusFile, const QString& folder);

std::string readFileBytes(const QString& path);
void writeFileBytes(const QString& path, const std::string& bytes);
