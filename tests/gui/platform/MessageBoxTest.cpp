#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

#include "base/Encoding.hpp"
#include "platform/SystemOps.hpp"

namespace lumivox {
namespace {

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool onGuiThread = false;
    bool modal = false;
};

// Waits on the GUI thread for the next message box, notes what it shows and
// presses the given button.
void answerNextBox(QMessageBox::StandardButton answer, SeenBox& seen) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        seen = {box->windowTitle(), box->text(), box->icon(),
                QThread::currentThread() == qApp->thread(),
                box->windowModality() == Qt::ApplicationModal};
        box->button(answer)->click();
        poll->deleteLater();
    });
    poll->start(10);
}

TEST(MessageBox, DefaultCaptionAndRenumberedResults) {
    struct Case {
        int flags;
        QMessageBox::StandardButton press;
        int expected;
    };
    const Case cases[] = {
        {kMessageBoxOk, QMessageBox::Ok, 0},
        {kMessageBoxYesNo, QMessageBox::No, 6},
        {kMessageBoxYesNo, QMessageBox::Yes, 5},
        {kMessageBoxOkCancel, QMessageBox::Cancel, 1},
        {kMessageBoxAbortRetryIgnore, QMessageBox::Ignore, 4},
        {kMessageBoxRetryCancel, QMessageBox::Retry, 3},
    };
    for (const Case& c : cases) {
        SeenBox seen;
        answerNextBox(c.press, seen);
        EXPECT_EQ(showMessageBox(utf8ToGbk("更新"), c.flags), c.expected) << c.flags;
        EXPECT_EQ(seen.caption, QString::fromUtf8("信息："));
        EXPECT_EQ(seen.text, QString::fromUtf8("更新"));
        EXPECT_TRUE(seen.modal);
    }
}

TEST(MessageBox, FromAnotherThreadRunsOnTheGuiThreadAndTheCallerWaits) {
    SeenBox seen;
    answerNextBox(QMessageBox::Ok, seen);
    std::atomic<int> result{-1};
    std::thread worker(
        [&] { result = showMessageBox("done", kMessageBoxIconInformation, utf8ToGbk("提示")); });
    while (result == -1) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(seen.onGuiThread);
    EXPECT_EQ(seen.caption, QString::fromUtf8("提示"));
    EXPECT_EQ(seen.icon, QMessageBox::Information);
}

// A message that looks like markup is shown as written, not rendered: the
// label is as wide as the literal text (rendered, it would be one bold letter).
TEST(MessageBox, ShowsMarkupAsPlainText) {
    const QString message = QStringLiteral("<b>x</b> &amp; <i>y</i>");
    int shownWidth = 0, literalWidth = 0;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        auto* label = box ? box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")) : nullptr;
        if (label == nullptr || !box->isVisible()) {
            return;
        }
        shownWidth = label->sizeHint().width();
        literalWidth = label->fontMetrics().horizontalAdvance(message);
        box->button(QMessageBox::Ok)->click();
        poll->deleteLater();
    });
    poll->start(10);
    EXPECT_EQ(showMessageBox(message.toStdString(), kMessageBoxOk), 0);
    EXPECT_GE(shownWidth, literalWidth);
    EXPECT_GT(literalWidth, 0);
}

}  // namespace
}  // namespace lumivox

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
