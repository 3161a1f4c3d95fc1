#pragma once
// The image button: a flat button drawn from pictures. Its state picks the
// picture and colours: pressed or mouse over ("in"), keyboard focus, otherwise
// outside. The picture is copied with its transparent colour left out; the
// caption is centred and word-wrapped; both move 1 pixel right and down while
// the left button is held down on it.
#include <QImage>
#include <QWidget>

#include "forms/Layout.hpp"

namespace lumivox {

class ImageButton : public QWidget {
    Q_OBJECT
  public:
    ImageButton(const layout::ButtonLook& look, QWidget* parent);

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

    enum class State { Outside, In, Focus, Disabled };
    State state() const;
    bool pressedLook() const { return held_ && underMouse_; }

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void setHover(bool hover);

    layout::ButtonLook look_;
    // Masked: transparent pixels have alpha 0. The disabled one is made when first drawn.
    QImage pictureOut_, pictureIn_, pictureDisabled_;
    QString caption_;
    bool hover_ = false;       // the mouse-over state
    bool held_ = false;        // the left button went down on the button and is still held
    bool underMouse_ = false;  // while held: the pointer is inside
    bool spaceHeld_ = false;
};

// A copy of the picture with every pixel of the transparent colour made fully
// transparent; kDefaultColour means the colour of its top-left pixel.
QImage maskedPicture(const QImage& picture, layout::Colour transparent);

QColor toQColor(layout::Colour colour);

}  // namespace lumivox
