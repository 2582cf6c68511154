// The export from the main window into what only POSIX systems have: a FIFO.
#include "gui/messageflags.h"
#include "support/exportfixture.h"
#include "support/messagerecorder.h"

#include <QFile>
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

} // namespace
