#pragma once

#include "core/identity.h"

#include "gui/matrixrain.h"
#include "gui/rainimage.h"
#include "gui/windowdrag.h"

#include <QDialog>
#include <memory>

class QTimer;
class Translator;

namespace Ui {
class AboutBox;
}

// The about window: logo, icon, product name and version, links to the maker's pages
// and the licence text, over a falling-characters rain on its black margin. Created
// for each about command, shown modally, and freed when it closes.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    TAboutBox(const ProductIdentity& product, const Translator& translator,
              QWidget* parent = nullptr);
    ~TAboutBox() override;

    // Event handlers.
    void FormPaint();
    void FormResize();
    void FormAfterMonitorDpiChanged();
    void Image1DblClick();
    void ImageEggDblClick();
    void TimerEggTimer();
    void tmTimerTimer();
    void Label5Click();
    void Credits1Click();
    void Howtouninstall1Click();
    void LicensePrivacyPolicy1Click();
    void BitBtn1Click();
    void BitBtn2Click();

    // The rain and the surface it draws on, as the window shows them.
    const MatrixRain& rain() const { return *m_rain; }
    const QImage& surface() const { return outCanvas.image(); }

    // Where the licence text is looked for: "license.txt" beside the executable.
    static QString licenceFilePath();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void StartMatrix();
    void HighDPIImageYukle();
    void applyLook();
    void watchWindowSystem();
    bool FormMouseEvent(QEvent* event);

    std::unique_ptr<Ui::AboutBox> ui;
    const ProductIdentity m_product;
    const Translator& m_translator;
    QTimer* tmTimer = nullptr;
    QTimer* TimerEgg = nullptr;
    RainImage outCanvas;
    std::unique_ptr<MatrixRain> m_rain;
    WindowDrag m_drag;
    bool m_watchingWindow = false;
    bool m_placed = false;
};
