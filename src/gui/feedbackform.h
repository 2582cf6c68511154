#pragma once

#include "core/identity.h"
#include "gui/busycursor.h"

#include <QDialog>
#include <memory>
#include <optional>

class QLabel;
template <typename T> class QFutureWatcher;
class QThreadPool;
class Translator;

namespace Ui {
class TFeedbackForm;
}

// The feedback window: a like or dislike, a comment and an optional e-mail address,
// posted to the maker's service. Frees itself when closed.
class TFeedbackForm : public QDialog {
    Q_OBJECT

public:
    TFeedbackForm(const ProductIdentity& product, const Translator& translator,
                  QWidget* parent = nullptr);
    ~TFeedbackForm() override;

    void BitBtn1Click();
    void reject() override;

    // True from Send until the window has shown what became of the feedback.
    bool isSending() const { return m_busy.has_value(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void Image1MouseDown(Qt::MouseButton button);
    void Image2MouseDown(Qt::MouseButton button);
    void toggleChoice(bool& chosen, QLabel* panel, bool& other, QLabel* otherPanel);
    void showChoice(QLabel* panel, bool selected);
    void limitMemoLength(int position, int charsAdded);
    void startSending(const QStringList& fields);
    void showDelivery(bool delivered);

    std::unique_ptr<Ui::TFeedbackForm> m_ui;
    const ProductIdentity m_product;
    const Translator& m_translator;
    bool m_like = false;
    bool m_dislike = false;
    bool m_placed = false;
    // The post in the background and the thread it runs on.
    QThreadPool* m_postThread = nullptr;
    QFutureWatcher<bool>* m_sending = nullptr;
    std::optional<BusyCursor> m_busy;
    bool m_sendHadFocus = false;
};
