#include "gui/feedbackform.h"

#include "ui_feedbackform.h"

#include "core/feedbackrequest.h"
#include "core/identity.h"
#include "core/textlines.h"
#include "core/translate.h"
#include "gui/enterkey.h"
#include "gui/errordisplay.h"
#include "gui/guiresources.h"
#include "gui/messagebox.h"
#include "gui/messageflags.h"
#include "gui/windowfonts.h"
#include "gui/windowplacement.h"

#include <QApplication>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPromise>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThreadPool>

#include <exception>

namespace {

constexpr int memoMaxLength = 10000;

bool isEscape(const QEvent* event) {
    return event->type() == QEvent::KeyPress &&
           static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape;
}

} // namespace

TFeedbackForm::TFeedbackForm(const ProductIdentity& product, const Translator& translator,
                             QWidget* parent)
    : QDialog(parent), m_ui(new Ui::TFeedbackForm), m_product(product), m_translator(translator) {
    ensureGuiResources();
    m_ui->setupUi(this);
    m_ui->BitBtn1->setIcon(renderedIcon(QStringLiteral("icons/envelope16")));
    setObjectName(QStringLiteral("FeedbackForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A fixed single border with only the close button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(525, 326);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    setFont(tahomaFont(11));
    for (QWidget* large :
         {static_cast<QWidget*>(m_ui->Panel4), static_cast<QWidget*>(m_ui->Panel5),
          static_cast<QWidget*>(m_ui->Label1), static_cast<QWidget*>(m_ui->BitBtn1)})
        large->setFont(tahomaFont(16));
    m_ui->Label2->setFont(tahomaFont(13, true));
    for (QWidget* text : {static_cast<QWidget*>(m_ui->Memo1), static_cast<QWidget*>(m_ui->Edit1),
                          static_cast<QWidget*>(m_ui->Label3)})
        text->setFont(tahomaFont(13));

    m_ui->Image1->setPixmap(
        renderedPicture(QStringLiteral("icons/laughing32"), devicePixelRatioF()));
    m_ui->Image2->setPixmap(renderedPicture(QStringLiteral("icons/sad32"), devicePixelRatioF()));
    showChoice(m_ui->Panel4, false);
    showChoice(m_ui->Panel5, false);

    for (QObject* watched :
         {static_cast<QObject*>(m_ui->Panel4), static_cast<QObject*>(m_ui->Image1),
          static_cast<QObject*>(m_ui->Panel5), static_cast<QObject*>(m_ui->Image2),
          static_cast<QObject*>(m_ui->Memo1), static_cast<QObject*>(m_ui->Edit1),
          static_cast<QObject*>(m_ui->BitBtn1)})
        watched->installEventFilter(this);

    connect(m_ui->Memo1->document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int charsAdded) { limitMemoLength(position, charsAdded); });
    connect(m_ui->BitBtn1, &QPushButton::clicked, this,
            [this] { runGuarded([this] { BitBtn1Click(); }); });
    pressOnEnter(*m_ui->BitBtn1);
    // The window's own pool: destroying the window waits for a post under way (bounded by the
    // post's timeout) and ends the worker thread with it, so no thread is left inside the TLS
    // library when the program exits.
    m_postThread = new QThreadPool(this);
    m_postThread->setMaxThreadCount(1);
    m_sending = new QFutureWatcher<bool>(this);
    connect(m_sending, &QFutureWatcherBase::finished, this,
            [this] { runGuarded([this] { showDelivery(m_sending->future().result()); }); });

    m_ui->Memo1->setFocus();
    runGuarded([this] { FormCreate(); });
}

TFeedbackForm::~TFeedbackForm() = default;

void TFeedbackForm::FormCreate() {
    setWindowTitle(m_product.productName + u' ' +
                   m_translator.translate(QStringLiteral("feedback")));
    m_ui->Label1->setText(
        m_translator.translate(QStringLiteral("We would really appreciate your feedback.")));
    m_ui->Label2->setText(m_translator.translate(QStringLiteral("What did you like or dislike?")));
    m_ui->Label3->setText(m_translator.translate(QStringLiteral("Include my e-mail:")));
    m_ui->BitBtn1->setText(m_translator.translate(QStringLiteral("Send")));
    m_ui->Panel4->setText(m_translator.translate(QStringLiteral("I like it!")));
    m_ui->Panel5->setText(m_translator.translate(QStringLiteral("I dislike it!")));
    // A wider font or a longer translation widens the label rather than cutting its text.
    m_ui->Label3->setMinimumWidth(std::max(107, m_ui->Label3->sizeHint().width()));
}

void TFeedbackForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, not over the main window.
    if (m_placed)
        return;
    m_placed = true;
    centreOnScreen(*this);
}

bool TFeedbackForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        // A double click is a second press, as each press toggles.
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        if (watched == m_ui->Panel4 || watched == m_ui->Image1) {
            Image1MouseDown(button);
            return true;
        }
        if (watched == m_ui->Panel5 || watched == m_ui->Image2) {
            Image2MouseDown(button);
            return true;
        }
    }
    // Escape in the memo, in the e-mail box or on Send closes the window without sending,
    // and never reaches the text as a character.
    if (isEscape(event) &&
        (watched == m_ui->Memo1 || watched == m_ui->Edit1 || watched == m_ui->BitBtn1)) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFeedbackForm::Image1MouseDown(Qt::MouseButton button) {
    if (button == Qt::LeftButton)
        toggleChoice(m_like, m_ui->Panel4, m_dislike, m_ui->Panel5);
}

void TFeedbackForm::Image2MouseDown(Qt::MouseButton button) {
    if (button == Qt::LeftButton)
        toggleChoice(m_dislike, m_ui->Panel5, m_like, m_ui->Panel4);
}

// A second click takes the choice back; choosing one side unchooses the other.
void TFeedbackForm::toggleChoice(bool& chosen, QLabel* panel, bool& other, QLabel* otherPanel) {
    chosen = !chosen;
    showChoice(panel, chosen);
    if (chosen && other) {
        other = false;
        showChoice(otherPanel, false);
    }
}

// Selected: highlight colours and a lowered bevel; unselected: button face and raised. The
// panel fills its own background, so a style draws only the bevel around it.
void TFeedbackForm::showChoice(QLabel* panel, bool selected) {
    const QPalette& colours = palette();
    QPalette look = panel->palette();
    look.setColor(QPalette::Window, colours.color(QPalette::Active, selected ? QPalette::Highlight
                                                                             : QPalette::Button));
    look.setColor(QPalette::WindowText,
                  colours.color(QPalette::Active,
                                selected ? QPalette::HighlightedText : QPalette::WindowText));
    panel->setPalette(look);
    panel->setBackgroundRole(QPalette::Window);
    panel->setForegroundRole(QPalette::WindowText);
    panel->setFrameShadow(selected ? QFrame::Sunken : QFrame::Raised);
}

// At most memoMaxLength characters: what a paste or keystroke adds beyond that is dropped.
void TFeedbackForm::limitMemoLength(int position, int charsAdded) {
    QTextDocument* document = m_ui->Memo1->document();
    const int excess = document->characterCount() - 1 - memoMaxLength;
    if (excess <= 0 || charsAdded <= 0)
        return;
    const int dropped = std::min(excess, charsAdded);
    QTextCursor cursor(document);
    cursor.setPosition(position + charsAdded - dropped);
    cursor.setPosition(position + charsAdded, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void TFeedbackForm::BitBtn1Click() {
    const QString like = feedback::choiceText(QStringLiteral("I like it!"), m_ui->Panel4->text());
    const QString dislike =
        feedback::choiceText(QStringLiteral("I dislike it!"), m_ui->Panel5->text());
    const QString memo = feedback::memoText(m_ui->Memo1->toPlainText());
    const QString text = feedback::feedbackText(m_like      ? like
                                                : m_dislike ? dislike
                                                            : QString(),
                                                memo);
    if (memo.isEmpty()) {
        m_ui->Memo1->setFocus();
        QApplication::beep();
        return;
    }
    const QString email = trimSpacesAndControls(m_ui->Edit1->text());
    if (!email.isEmpty() && !feedback::isValidEmail(email)) {
        m_ui->Edit1->setFocus();
        showMessage(m_translator.translate(QStringLiteral("Invalid e-mail address!")),
                    m_translator.translate(QStringLiteral("Failure")), MB_ICONERROR);
        return;
    }

    startSending(feedback::requestFields(m_product, text, email));
}

// The post runs on a worker so that the window keeps painting; until its answer the window
// shows it is busy, Send is disabled and the window stays open.
void TFeedbackForm::startSending(const QStringList& fields) {
    m_busy.emplace();
    m_sendHadFocus = m_ui->BitBtn1->hasFocus();
    m_ui->BitBtn1->setEnabled(false);
    auto promise = std::make_shared<QPromise<bool>>();
    m_sending->setFuture(promise->future());
    m_postThread->start([promise, fields] {
        promise->start();
        bool delivered = false;
        try {
            delivered = feedback::isDelivered(feedback::post(fields));
        } catch (const std::exception&) {
            delivered = false; // nothing may escape a worker thread
        }
        promise->addResult(delivered);
        promise->finish();
    });
}

void TFeedbackForm::showDelivery(bool delivered) {
    m_busy.reset();
    m_ui->BitBtn1->setEnabled(true);
    if (m_sendHadFocus)
        m_ui->BitBtn1->setFocus();

    if (delivered) {
        showMessage(m_translator.translate(QStringLiteral("Your feedback is received.")) +
                        QStringLiteral("\r\r") +
                        m_translator.translate(QStringLiteral("Thank you!")),
                    m_translator.translate(QStringLiteral("Success")), MB_ICONINFORMATION);
        close();
        return;
    }
    showMessage(m_translator.translate(
                    QStringLiteral("Something went wrong. Your feedback could not be delivered.")) +
                    QStringLiteral("\r\r") +
                    m_translator.translate(QStringLiteral("Please try again later.")),
                m_translator.translate(QStringLiteral("Failure")), MB_ICONERROR);
}

// Closing the window, with Escape or its close button, waits until the send has ended; a
// closing attempt refused here leaves the window open.
void TFeedbackForm::reject() {
    if (!isSending())
        QDialog::reject();
}
