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

// What both edit box kinds offer: their whole text as GBK. A text the program
// wrote is read back exactly as written (hidden boxes are settings stores, and
// may hold bytes that do not decode); once the host edits the box, its text is
// what it shows, with line breaks as CR LF.
class EditBox {
  public:
    virtual ~EditBox() = default;
    Text text() const;
    void setText(const Text& text);
    // Appends at the end and scrolls the caret into view.
    void appendText(const Text& text);

  protected:
    void forgetWrittenText() { written_.reset(); }
    bool writing_ = false;

  private:
    virtual QString shownText() const = 0;
    virtual void show(const QString& text) = 0;
    virtual void moveCaretToEnd() = 0;

    std::optional<Text> written_;
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
    void moveCaretToEnd() override;
};

class MultiLineEditBox : public QPlainTextEdit, public EditBox {
    Q_OBJECT
  public:
    explicit MultiLineEditBox(QWidget* parent);

  private:
    QString shownText() const override;
    void show(const QString& text) override;
    void moveCaretToEnd() override;
};

// A picture box: black, with its picture (if any) stretched to its size. The
// pages and the banner are picture boxes.
class PictureBox : public QWidget {
    Q_OBJECT
  public:
    PictureBox(const QImage& picture, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
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
