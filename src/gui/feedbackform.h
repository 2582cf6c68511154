#pragma once

#include "core/identity.h"

#include <QDialog>
#include <memory>

class QLabel;

namespace Ui {
class TFeedbackForm;
}

// The feedback window: a like or dislike, a comment and an optional e-mail address,
// posted to the maker's service. Frees itself when closed.
class TFeedbackForm : public QDialog {
    Q_OBJECT

public:
    explicit TFeedbackForm(const ProductIdentity& product, QWidget* parent = nullptr);
    ~TFeedbackForm() override;

    void BitBtn1Click();

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

    std::unique_ptr<Ui::TFeedbackForm> m_ui;
    const ProductIdentity m_product;
    bool m_like = false;
    bool m_dislike = false;
    bool m_placed = false;
};
