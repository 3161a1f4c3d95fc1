#pragma once
// The transparent label: a caption with no background of its own, so the
// picture or colour under it shows through. Qt repaints what lies under a
// widget that does not paint itself opaque before the widget, so changing the
// caption redraws the parent and overlapping siblings first.
#include <QWidget>

#include "forms/Layout.hpp"

namespace lumivox {

class TransparentLabel : public QWidget {
    Q_OBJECT
  public:
    TransparentLabel(const layout::LabelLook& look, QWidget* parent);

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

  signals:
    // The left button went down over the label: label coordinates and the key
    // state (1 Ctrl, 2 Shift, 4 Alt).
    void leftButtonDown(int x, int y, int keyState);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    layout::LabelLook look_;
    QString caption_;
};

}  // namespace lumivox
