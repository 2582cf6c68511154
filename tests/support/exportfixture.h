#pragma once

#include "gui/appform.h"
#include "gui/messagebox.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// The export from the main window: the open and save dialogs answered, every message box
// recorded with whether the busy cursor was up while it showed.
class ExportTest : public ::testing::Test {
protected:
    ExportTest();
    ~ExportTest() override;

    // Writes the bytes into the named file of the folder and returns its path.
    QString file(const QString& name, const std::string& content) const;
    // Adds the inputs to the list and exports them into `output`.
    void exportTo(const QStringList& inputs, const QString& output);
    // The messages shown, in order; fails the test for each shown under the busy cursor.
    std::vector<ShownMessage> messages() const;

    struct Seen {
        ShownMessage message;
        bool busyCursor;
    };
    QTemporaryDir dir;
    std::vector<Seen> seen;
    TAppForm form;
};
