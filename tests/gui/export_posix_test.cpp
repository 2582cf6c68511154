// The export from the main window into what only POSIX systems have: a FIFO, and file names
// that are bytes rather than text.
#include "gui/messageflags.h"
#include "platform/dialogpath.h"
#include "platform/nativepath.h"
#include "support/exportfixture.h"
#include "support/messagerecorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A pipe chosen as the output is written into, not replaced by an ordinary file.
TEST_F(ExportTest, PipeChosenAsTheOutputStaysAPipe) {
    const QString a = file("a.xml", "<r><a/></r>");
    const QString fifo = dir.filePath("pipe.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    exportTo({a}, fifo);
    char buffer[256] = {};
    const ssize_t n = ::read(reader, buffer, sizeof buffer - 1);
    ::close(reader);
    EXPECT_EQ(std::string(buffer, std::size_t(std::max<ssize_t>(n, 0))),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><a/></r>\n");
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    EXPECT_EQ(messages(), (std::vector<ShownMessage>{
                              {"Saved as file: " + fifo, "SUCCESS", MB_ICONINFORMATION}}));
}

// Files named by their bytes: Qt's own file classes cannot name them.
QByteArray readBytes(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return "(cannot open)";
    char buffer[256] = {};
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return QByteArray(buffer, std::max<ssize_t>(n, 0));
}

void writeBytes(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, content.constData(), std::size_t(content.size())), content.size());
    ::close(fd);
}

// Removes the files and then the folder, which the temporary folder's clean-up cannot name.
void removeAll(const QByteArray& folder, const std::vector<QByteArray>& files) {
    for (const QByteArray& f : files)
        ::unlink(f.constData());
    ::rmdir(folder.constData());
}

// Qt's dialogs show a name that is not UTF-8 with U+FFFD for each odd byte and hand it back
// so; the export still reads and replaces the very files the user picked.
TEST_F(ExportTest, DialogNamesThatAreNotUtf8ReachTheirFiles) {
    const QByteArray folder = QFile::encodeName(dir.path()) + "/sub\xe9";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const QByteArray a = folder + "/a\xff.xml";
    const QByteArray b = folder + "/b\xfe\xff.xml";
    const QByteArray out = folder + "/out\xff.xml";
    writeBytes(a, "<r><a/></r>");
    writeBytes(b, "<r><b/></r>");
    writeBytes(out, "old");
    const auto shown = [](const QByteArray& path) { return QFile::decodeName(path); };
    ASSERT_TRUE(shown(a).contains(QChar::ReplacementCharacter));

    exportTo({shown(a), shown(b)}, shown(out));

    EXPECT_EQ(readBytes(out), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><a/><b/></r>\n");
    // Nothing was written under the name as shown.
    EXPECT_FALSE(QFile::exists(shown(out)));
    ASSERT_EQ(messages().size(), 1U);
    EXPECT_EQ(messages().front().caption, "SUCCESS");
    removeAll(folder, {a, b, out});
}

// A part that no entry, or more than one, shows as is left as it came: opening it then fails
// with the system's own error rather than reaching another file.
TEST(DialogPath, UnclearNamesStayAsTheDialogGaveThem) {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + "/names";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    writeBytes(folder + "/x\xe8.xml", "1");
    writeBytes(folder + "/x\xe9.xml", "2");
    writeBytes(folder + "/y\xe9.xml", "3");
    for (const QString& unclear :
         {QFile::decodeName(folder + "/x\xe9.xml"), QFile::decodeName(folder + "/z\xe9.xml"),
          QFile::decodeName(folder) + "/plain.xml"})
        EXPECT_EQ(platform::systemPathOfDialogPath(unclear), unclear);
    EXPECT_EQ(nativepath::encode(
                  platform::systemPathOfDialogPath(QFile::decodeName(folder + "/y\xe9.xml"))),
              folder + "/y\xe9.xml");
    removeAll(folder, {folder + "/x\xe8.xml", folder + "/x\xe9.xml", folder + "/y\xe9.xml"});
}

} // namespace
