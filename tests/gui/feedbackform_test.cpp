#include "core/identity.h"
#include "core/translate.h"
#include "gui/appform.h"
#include "gui/feedbackform.h"
#include "gui/messageflags.h"
#include "support/formfields.h"
#include "support/messagerecorder.h"
#include "support/qtprinters.h"
#include "support/scopedenv.h"
#include "support/testhttpserver.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <vector>

namespace {

QStringList expectedFields(const QString& feedbackText, const QString& email = QString()) {
    QStringList fields = {"cmd=feedback", "appname=QUENLOW - Brindleaf", "version=1.4",
                          "feedback=" + feedbackText};
    if (!email.isEmpty())
        fields << "email=" + email;
    return fields;
}

const QString sentMessage = QStringLiteral("Your feedback is received.\r\rThank you!");
const QString failedMessage = QStringLiteral(
    "Something went wrong. Your feedback could not be delivered.\r\rPlease try again later.");

class FeedbackFormTest : public ::testing::Test {
protected:
    explicit FeedbackFormTest(TestHttpServer::Protocols protocols = TestHttpServer::Protocols::Both)
        : server(protocols), trust("SSL_CERT_FILE", server.caCertificateFile()),
          host("BRINDLEAF_MAKER_HOST", server.hostAndPort()) {}
    ~FeedbackFormTest() override { delete form.data(); }

    void open() {
        form =
            new TFeedbackForm({"QUENLOW", "Brindleaf", "QUENLOW - Brindleaf", "1.4"}, translator);
        form->show();
        QApplication::setActiveWindow(form);
    }
    template <typename T> T* child(const char* name) const {
        T* found = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLabel* like() const { return child<QLabel>("Panel4"); }
    QLabel* dislike() const { return child<QLabel>("Panel5"); }
    QPlainTextEdit* memo() const { return child<QPlainTextEdit>("Memo1"); }
    QLineEdit* email() const { return child<QLineEdit>("Edit1"); }
    QPushButton* send() const { return child<QPushButton>("BitBtn1"); }

    // Judged by what is drawn: the panel's background beside its caption, and its bevel.
    bool isSelected(QLabel* panel) const {
        const QColor shown =
            panel->grab().toImage().pixelColor(panel->width() - 6, panel->height() / 2);
        const QColor highlight = form->palette().color(QPalette::Active, QPalette::Highlight);
        const QColor buttonFace = form->palette().color(QPalette::Active, QPalette::Button);
        const bool selected = shown == highlight && panel->frameShadow() == QFrame::Sunken;
        const bool unselected = shown == buttonFace && panel->frameShadow() == QFrame::Raised;
        EXPECT_NE(selected, unselected)
            << panel->objectName().toStdString() << " shows " << shown.name().toStdString();
        return selected;
    }
    // Clicks Send and waits until the window has shown what became of the feedback.
    void sendFeedback(const QString& text, const QString& address = QString()) {
        memo()->setPlainText(text);
        email()->setText(address);
        QTest::mouseClick(send(), Qt::LeftButton);
        waitUntilSent();
    }
    void waitUntilSent() {
        // Two schemes of 3 s each at most, with room for a loaded machine.
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull() || !form->isSending(), 15000);
    }
    std::vector<QStringList> posts() const {
        std::vector<QStringList> all;
        for (const TestHttpServer::Request& request : server.requests()) {
            EXPECT_EQ(request.path().toStdString(), "/php/feedback.php");
            all.push_back(decodeFormLines(request.body));
        }
        return all;
    }
    // The window frees itself once closed.
    bool isGone() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return form.isNull();
    }

    TestHttpServer server;
    ScopedEnv trust;
    ScopedEnv host;
    MessageRecorder messages;
    Translator translator;
    QPointer<TFeedbackForm> form;
};

TEST_F(FeedbackFormTest, OpensEmptyWithEnglishCaptionsAndTheLayoutsProperties) {
    open();
    EXPECT_EQ(form->objectName().toStdString(), "FeedbackForm");
    EXPECT_EQ(form->windowTitle().toStdString(), "Brindleaf feedback");
    EXPECT_EQ(child<QLabel>("Label1")->text().toStdString(),
              "We would really appreciate your feedback.");
    EXPECT_EQ(child<QLabel>("Label2")->text().toStdString(), "What did you like or dislike?");
    EXPECT_EQ(child<QLabel>("Label3")->text().toStdString(), "Include my e-mail:");
    EXPECT_EQ(send()->text().toStdString(), "Send");
    EXPECT_EQ(like()->text().toStdString(), "I like it!");
    EXPECT_EQ(dislike()->text().toStdString(), "I dislike it!");
    EXPECT_FALSE(isSelected(like()));
    EXPECT_FALSE(isSelected(dislike()));

    EXPECT_EQ(form->size(), QSize(525, 326));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form->focusWidget(), memo());
    // Tab runs Memo1, Edit1, BitBtn1; the memo takes no tab characters.
    QTest::keyClick(memo(), Qt::Key_Tab);
    EXPECT_EQ(form->focusWidget(), email());
    QTest::keyClick(email(), Qt::Key_Tab);
    EXPECT_EQ(form->focusWidget(), send());
    EXPECT_TRUE(memo()->toPlainText().isEmpty());
    EXPECT_EQ(like()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(dislike()->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(send()->isDefault());
    EXPECT_FALSE(send()->autoDefault());
    EXPECT_FALSE(send()->icon().isNull());
    EXPECT_EQ(email()->maxLength(), 100);
    EXPECT_EQ(like()->font().pixelSize(), 16);
    EXPECT_EQ(child<QLabel>("Label2")->font().pixelSize(), 13);
    EXPECT_TRUE(child<QLabel>("Label2")->font().bold());
    EXPECT_EQ(memo()->font().pixelSize(), 13);
    for (const char* picture : {"Image1", "Image2"}) {
        const QLabel* image = child<QLabel>(picture);
        EXPECT_EQ(image->size(), QSize(32, 32)) << picture;
        EXPECT_EQ(image->pixmap().size(), QSize(32, 32)) << picture;
        // The face fills the middle of its place.
        EXPECT_EQ(image->pixmap().toImage().pixelColor(16, 16).alpha(), 255) << picture;
    }
}

TEST_F(FeedbackFormTest, MemoTakesAtMostTenThousandCharacters) {
    open();
    memo()->insertPlainText(QString(9990, u'a'));
    memo()->insertPlainText(QString(20, u'b'));
    const QString text = memo()->toPlainText();
    EXPECT_EQ(text.size(), 10000);
    EXPECT_TRUE(text.endsWith(QString(10, u'b')));
}

struct ChoiceCase {
    const char* name;
    std::vector<std::pair<const char*, Qt::MouseButton>> clicks;
    bool like;
    bool dislike;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class Choices : public FeedbackFormTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(Choices, ToggleWithTheLeftButtonOnPanelOrPicture) {
    const ChoiceCase& c = GetParam();
    open();
    for (const auto& [target, button] : c.clicks)
        QTest::mouseClick(child<QWidget>(target), button);
    EXPECT_EQ(isSelected(like()), c.like);
    EXPECT_EQ(isSelected(dislike()), c.dislike);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Choices,
    ::testing::Values(ChoiceCase{"Like", {{"Panel4", Qt::LeftButton}}, true, false},
                      ChoiceCase{"Dislike", {{"Panel5", Qt::LeftButton}}, false, true},
                      ChoiceCase{"LikeTwiceTakesItBack",
                                 {{"Panel4", Qt::LeftButton}, {"Panel4", Qt::LeftButton}},
                                 false,
                                 false},
                      ChoiceCase{"LikeThenDislike",
                                 {{"Panel4", Qt::LeftButton}, {"Panel5", Qt::LeftButton}},
                                 false,
                                 true},
                      ChoiceCase{"DislikeThenLike",
                                 {{"Panel5", Qt::LeftButton}, {"Panel4", Qt::LeftButton}},
                                 true,
                                 false},
                      ChoiceCase{
                          "PictureActsAsItsPanel", {{"Image1", Qt::LeftButton}}, true, false},
                      ChoiceCase{"PictureThenPanelTakesItBack",
                                 {{"Image2", Qt::LeftButton}, {"Panel5", Qt::LeftButton}},
                                 false,
                                 false},
                      ChoiceCase{"RightButtonChangesNothing",
                                 {{"Panel4", Qt::RightButton}, {"Image2", Qt::RightButton}},
                                 false,
                                 false},
                      ChoiceCase{"MiddleButtonKeepsTheChoice",
                                 {{"Panel5", Qt::LeftButton}, {"Panel5", Qt::MiddleButton}},
                                 false,
                                 true}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST_F(FeedbackFormTest, MemoOfOnlySpacesAndLineBreaksSendsNothing) {
    open();
    QTest::mouseClick(like(), Qt::LeftButton);
    email()->setFocus();
    sendFeedback(QStringLiteral(" \r\n\t \n  "), QStringLiteral("me@example.com"));
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(form->focusWidget(), memo());
    EXPECT_FALSE(isGone());
}

TEST_F(FeedbackFormTest, LikeAndTheTrimmedMemoAreSentAndTheWindowClosesAfterTheThanks) {
    open();
    QTest::mouseClick(like(), Qt::LeftButton);
    sendFeedback(QStringLiteral("\n  Combines my files.\nQuick too!  \n\n"));
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_EQ(posts()[0],
              expectedFields(QStringLiteral("I like it!\rCombines my files.\r\nQuick too!")));
    EXPECT_TRUE(server.requests()[0].secure);
    EXPECT_EQ(messages.messages(),
              std::vector<ShownMessage>({{sentMessage, "Success", MB_ICONINFORMATION}}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(isGone());
}

TEST_F(FeedbackFormTest, DislikeWithoutChoiceAndWithAddressTrimmed) {
    open();
    QTest::mouseClick(dislike(), Qt::LeftButton);
    sendFeedback(QStringLiteral("Too slow"), QStringLiteral("  me@example.com \t"));
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_EQ(posts()[0], expectedFields(QStringLiteral("I dislike it!\rToo slow"),
                                         QStringLiteral("me@example.com")));
}

TEST_F(FeedbackFormTest, NoChoiceAndNoAddressSendsTheMemoAloneWithoutEmailField) {
    open();
    sendFeedback(QStringLiteral("Just a note"), QStringLiteral("   "));
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_EQ(posts()[0], expectedFields(QStringLiteral("Just a note")));
}

TEST_F(FeedbackFormTest, TranslatedChoiceGoesInBracketsAfterTheEnglishOne) {
    const QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("Test.lang.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{I like it!}Beğendim!\n{feedback}Geri Bildirimi\n{Send}Gönder\n"
               "{Your feedback is received.}Alındı.\n{Success}Başarılı\n");
    file.close();
    translator.languageInitialisation(QStringLiteral("Test.lang.txt"), folder.path(), 1055);

    open();
    EXPECT_EQ(like()->text(), QStringLiteral(u"Beğendim!"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral(u"Brindleaf Geri Bildirimi"));
    EXPECT_EQ(send()->text(), QStringLiteral(u"Gönder"));
    QTest::mouseClick(like(), Qt::LeftButton);
    sendFeedback(QStringLiteral("Harika"));
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_EQ(posts()[0], expectedFields(QStringLiteral(u"I like it! (Beğendim!)\rHarika")));
    EXPECT_EQ(messages.messages(),
              std::vector<ShownMessage>({{QStringLiteral(u"Alındı.\r\rThank you!"),
                                          QStringLiteral(u"Başarılı"), MB_ICONINFORMATION}}));
}

struct AddressCase {
    const char* address;
    bool valid;
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << c.address;
}

class Addresses : public FeedbackFormTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(Addresses, AreSentOrRefusedBeforeAnythingIsSent) {
    const AddressCase& c = GetParam();
    open();
    sendFeedback(QStringLiteral("Hello"), QString::fromUtf8(c.address));
    if (c.valid) {
        ASSERT_EQ(posts().size(), 1u);
        EXPECT_EQ(posts()[0], expectedFields("Hello", QString::fromUtf8(c.address)));
        EXPECT_TRUE(isGone());
    } else {
        EXPECT_TRUE(server.requests().empty());
        EXPECT_EQ(messages.messages(), std::vector<ShownMessage>(
                                           {{"Invalid e-mail address!", "Failure", MB_ICONERROR}}));
        EXPECT_EQ(form->focusWidget(), email());
        EXPECT_FALSE(isGone());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Addresses,
    ::testing::Values(
        AddressCase{"john@example.com", true}, AddressCase{"a+b.c_d@example.org", true},
        AddressCase{"x@mail.co-op.example.uk", true}, AddressCase{"JOHN@EXAMPLE.COM", true},
        AddressCase{"john.example.com", false}, AddressCase{"john@localhost", false},
        AddressCase{"john@example.", false}, AddressCase{"john@example-", false},
        AddressCase{"john@.example.com", false}, AddressCase{"john@exa_mple.com", false},
        AddressCase{"jo hn@example.com", false}, AddressCase{"j\xc3\xb6hn@example.com", false}));

struct ReplyCase {
    const char* name;
    int status;
    QByteArray body;
    bool delivered;
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.name;
}

class Replies : public FeedbackFormTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(Replies, OnlyOkCountsAsDelivered) {
    const ReplyCase& c = GetParam();
    server.setHandler([c](const TestHttpServer::Request&) {
        return TestHttpServer::Reply::text(c.status, c.body);
    });
    open();
    QTest::mouseClick(dislike(), Qt::LeftButton);
    sendFeedback(QStringLiteral("Text"), QStringLiteral("me@example.com"));
    // Whatever the secure post answered, no plain post follows.
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(server.requests()[0].secure);
    if (c.delivered) {
        EXPECT_EQ(messages.messages(),
                  std::vector<ShownMessage>({{sentMessage, "Success", MB_ICONINFORMATION}}));
        EXPECT_TRUE(isGone());
    } else {
        EXPECT_EQ(messages.messages(),
                  std::vector<ShownMessage>({{failedMessage, "Failure", MB_ICONERROR}}));
        ASSERT_FALSE(isGone());
        // Everything stays for another try.
        EXPECT_EQ(memo()->toPlainText().toStdString(), "Text");
        EXPECT_EQ(email()->text().toStdString(), "me@example.com");
        EXPECT_TRUE(isSelected(dislike()));
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Replies,
    ::testing::Values(
        ReplyCase{"Ok", 200, "OK", true}, ReplyCase{"OkWithLineBreak", 200, "OK\r\n", true},
        ReplyCase{"OkWithSpaces", 200, "  OK  ", true}, ReplyCase{"LowerCase", 200, "ok", false},
        ReplyCase{"FullStop", 200, "OK.", false}, ReplyCase{"SecondLine", 200, "OK\nqueued", false},
        ReplyCase{"Empty", 200, "", false},
        ReplyCase{"ErrorPage", 500, "<html><body>Internal error</body></html>", false},
        ReplyCase{"OkOnAnErrorStatus", 503, "OK", true}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

class FeedbackOverPlainHttp : public FeedbackFormTest {
protected:
    FeedbackOverPlainHttp() : FeedbackFormTest(TestHttpServer::Protocols::Plain) {}
};

TEST_F(FeedbackOverPlainHttp, SecureServiceDownAndPlainAnsweringOkIsDelivered) {
    open();
    sendFeedback(QStringLiteral("Over plain HTTP"));
    EXPECT_GE(server.tlsConnectionCount(), 1);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(server.requests()[0].secure);
    EXPECT_EQ(posts()[0], expectedFields(QStringLiteral("Over plain HTTP")));
    EXPECT_EQ(messages.messages(),
              std::vector<ShownMessage>({{sentMessage, "Success", MB_ICONINFORMATION}}));
    EXPECT_TRUE(isGone());
}

TEST_F(FeedbackOverPlainHttp, BothSchemesFailingKeepsTheWindowOpen) {
    server.setHandler(
        [](const TestHttpServer::Request&) { return TestHttpServer::Reply::text(404, "OK"); });
    open();
    sendFeedback(QStringLiteral("Lost"));
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(messages.messages(),
              std::vector<ShownMessage>({{failedMessage, "Failure", MB_ICONERROR}}));
    EXPECT_FALSE(isGone());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(FeedbackFormTest, EnterSendsOnlyFromTheFocusedSendButton) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key);
        open();
        const size_t sentBefore = server.requests().size();
        memo()->setPlainText(QStringLiteral("Typed"));
        email()->setText(QStringLiteral("me@example.com"));
        email()->setFocus();
        QTest::keyClick(email(), key);
        EXPECT_FALSE(form->isSending());
        EXPECT_EQ(server.requests().size(), sentBefore);

        send()->setFocus();
        QTest::keyClick(send(), key);
        waitUntilSent();
        ASSERT_EQ(posts().size(), sentBefore + 1);
        EXPECT_EQ(posts().back(), expectedFields("Typed", "me@example.com"));
        EXPECT_TRUE(isGone());
    }
}

struct StallCase {
    const char* name;
    TestHttpServer::Reply reply;
};

void PrintTo(const StallCase& c, std::ostream* os) {
    *os << c.name;
}

class StalledServer : public FeedbackFormTest, public ::testing::WithParamInterface<StallCase> {};

// What the window showed on each tick of a timer of its own thread while the send ran.
struct SendingLook {
    int ticks = 0;
    int paints = 0;
    bool alwaysBusy = true;
    bool sendEverEnabled = false;
    bool closedMeanwhile = false;
};

class PaintCounter : public QObject {
public:
    explicit PaintCounter(int& paints) : m_paints(paints) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++m_paints;
        return false;
    }

private:
    int& m_paints;
};

TEST_P(StalledServer, WindowKeepsPaintingAndGivesUpAfterThreeSecondsPerScheme) {
    const TestHttpServer::Reply reply = GetParam().reply;
    server.setHandler([reply](const TestHttpServer::Request&) { return reply; });
    open();
    memo()->setPlainText(QStringLiteral("Anyone there?"));

    SendingLook look;
    PaintCounter counter(look.paints);
    form->installEventFilter(&counter);
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (form.isNull() || !form->isSending())
            return;
        ++look.ticks;
        const QCursor* cursor = QGuiApplication::overrideCursor();
        look.alwaysBusy = look.alwaysBusy && cursor && cursor->shape() == Qt::BusyCursor;
        look.sendEverEnabled = look.sendEverEnabled || send()->isEnabled();
        form->update();
        // Escape and the close button wait for the end of the send.
        if (look.ticks == 5) {
            QTest::keyClick(memo(), Qt::Key_Escape);
            form->close();
            look.closedMeanwhile = !form->isVisible();
        }
    });
    ticker.start(50);

    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(send(), Qt::LeftButton);
    EXPECT_TRUE(form->isSending());
    waitUntilSent();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    // Both schemes were tried, each for its 3 s and not much longer.
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(5900));
    EXPECT_LT(elapsed, std::chrono::milliseconds(9000));
    // A window frozen by the send would have seen none of these before the end.
    EXPECT_GE(look.ticks, 20);
    EXPECT_GE(look.paints, 10);
    EXPECT_TRUE(look.alwaysBusy);
    EXPECT_FALSE(look.sendEverEnabled);
    EXPECT_FALSE(look.closedMeanwhile);
    // Then as before: the failure, the window open for another try, the cursor back.
    EXPECT_EQ(messages.messages(),
              std::vector<ShownMessage>({{failedMessage, "Failure", MB_ICONERROR}}));
    ASSERT_FALSE(isGone());
    EXPECT_TRUE(send()->isEnabled());
    EXPECT_EQ(memo()->toPlainText().toStdString(), "Anyone there?");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StalledServer,
    ::testing::Values(StallCase{"Silent", TestHttpServer::Reply::silence()},
                      StallCase{"Trickling",
                                TestHttpServer::Reply::trickle(
                                    TestHttpServer::Reply::text(200, QByteArray(600, 'x')),
                                    std::chrono::milliseconds(100))}),
    [](const ::testing::TestParamInfo<StallCase>& info) { return std::string(info.param.name); });

struct EscapeCase {
    const char* from;
};

void PrintTo(const EscapeCase& c, std::ostream* os) {
    *os << c.from;
}

class Escape : public FeedbackFormTest, public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(Escape, ClosesTheWindowWithoutSending) {
    open();
    memo()->setPlainText(QStringLiteral("Draft"));
    email()->setText(QStringLiteral("me@example.com"));
    QWidget* target = child<QWidget>(GetParam().from);
    target->setFocus();
    const QString typedBefore = email()->text();
    QTest::keyClick(target, Qt::Key_Escape);
    EXPECT_EQ(email()->text(), typedBefore);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(isGone());
}

INSTANTIATE_TEST_SUITE_P(Places, Escape,
                         ::testing::Values(EscapeCase{"Memo1"}, EscapeCase{"Edit1"},
                                           EscapeCase{"BitBtn1"}),
                         [](const ::testing::TestParamInfo<EscapeCase>& info) {
                             return std::string(info.param.from);
                         });

TEST(SendFeedbackCommand, OpensANewModalWindowEachTimeAndFreesItWhenClosed) {
    TAppForm main;
    main.show();
    std::vector<QPointer<QDialog>> opened;
    std::vector<QString> memoAtOpening;
    const auto closeWhenShown = [&] {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->objectName().toStdString(), "FeedbackForm");
            EXPECT_TRUE(dialog->isModal());
            EXPECT_EQ(dialog->parentWidget(), &main);
            auto* text = dialog->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
            memoAtOpening.push_back(text->toPlainText());
            text->setPlainText(QStringLiteral("typed, then closed"));
            opened.emplace_back(dialog);
            dialog->close();
        });
    };
    QAction* command = main.findChild<QAction*>(QStringLiteral("SendFeedback1"));
    ASSERT_NE(command, nullptr);
    for (int i = 0; i < 2; ++i) {
        closeWhenShown();
        command->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_TRUE(opened[0].isNull());
    EXPECT_TRUE(opened[1].isNull());
    EXPECT_EQ(memoAtOpening, std::vector<QString>({"", ""}));
}

} // namespace
