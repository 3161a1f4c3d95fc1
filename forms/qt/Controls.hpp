#pragma once
// The platform-like control kinds of the layouts: edit boxes that keep their
// text byte for byte, picture boxes, and the status bar.
#include <optional>
#include <vector>

#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

#include "base/Types.hpp"

namespace lumivox {

// What both edit box kinds offer. The form core keeps the text the program
// wrote (it reads back byte for byte, even bytes that do not decode); the box
// tells whether the host has changed it since, and what it shows then, as GBK
// with line breaks as CR LF.
class EditBox {
  public:
    virtual ~EditBox() = default;
    void showWritten(const Text& text);
    std::optional<Text> hostText() const;
    virtual void moveCaretToEnd() = 0;

  protected:
    void hostChanged() { edited_ = true; }
    bool writing_ = false;

  private:
    virtual QString shownText() const = 0;
    virtual void show(const QString& text) = 0;

    bool edited_ = false;
};

// The edit box behind a widget of either kind, or null.
inline EditBox* editBoxOf(QWidget* widget) {
    return dynamic_cast<EditBox*>(widget);
}

class SingleLineEditBox : public QLineEdit, public EditBox {
    Q_OBJECT
  public:
    explicit SingleLineEditBox(QWidget* parent);

  private:
    QString shownText() const override;
    void show(const QString& text) override;

  public:
    void moveCaretToEnd() override;
};

class MultiLineEditBox : public QPlainTextEdit, public EditBox {
    Q_OBJECT
  public:
    explicit MultiLineEditBox(QWidget* parent);

  private:
    QString shownText() const override;
    void show(const QString& text) override;

  public:
    void moveCaretToEnd() override;
};

// A picture box: black, with its picture (if any) stretched to its size. The
// pages and the banner are picture boxes.
class PictureBox : public QWidget {
    Q_OBJECT
  public:
    PictureBox(const QImage& picture, QWidget* parent);
    // Pixels made at runtime (a code): drawn without smoothing, every edge sharp.
    void setPixels(const QImage& pixels);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
    bool sharp_ = false;
};

// A status bar of equal-width parts, each with a text.
class StatusBar : public QWidget {
    Q_OBJECT
  public:
    StatusBar(int parts, int partWidth, QWidget* parent);
    QString partText(int part) const;
    void setPartText(int part, const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int partWidth_;
    std::vector<QString> texts_;
};

}  // namespace lumivox
