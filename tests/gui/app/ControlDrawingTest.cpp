// The two drawn control kinds, checked on pixels: the image button's states,
// masked picture and pressed offset; the transparent label's see-through look.
#include <QEnterEvent>
#include <QTest>

#include "forms/qt/Controls.hpp"
#include "forms/qt/ImageButton.hpp"
#include "forms/qt/Pictures.hpp"
#include "forms/qt/TransparentLabel.hpp"
#include "GuiTest.hpp"

namespace lumivox::testing {
namespace {

QRgb rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFFu;
}

constexpr QRgb kBlackRgb = 0x000000;
constexpr QRgb kBlueRgb = 0x0088FF;

// The part of a button away from its caption: where only the picture and the
// background show.
struct Region {
    int left, top, right, bottom;  // inclusive
};

// Compares the grabbed button with the picture drawn at (offset, offset), over the
// region; a picture pixel of the transparent colour must show the background.
void expectPicture(const QImage& shown, const QImage& picture, QRgb transparent, QRgb background,
                   int offset, Region region) {
    for (int y = region.top; y <= region.bottom; ++y) {
        for (int x = region.left; x <= region.right; ++x) {
            const QRgb drawn = rgb(picture, x, y);
            const QRgb expected = drawn == transparent ? background : drawn;
            ASSERT_EQ(rgb(shown, x + offset, y + offset), expected) << "at " << x << "," << y;
        }
    }
}

TEST_F(GuiTest, SoundButtonShowsTheBarAndA2PixelStripBelowIt) {
    FormWindow& window = mainWindow();
    auto* button = qobject_cast<ImageButton*>(window.controlWidget("官方音按钮1"));
    ASSERT_NE(button, nullptr);
    const QImage bar = embeddedPicture("pictures/bar.jpg");
    ASSERT_EQ(bar.size(), QSize(96, 30));
    const QImage shown = grab(*button);
    ASSERT_EQ(shown.size(), QSize(96, 32));
    // Left and right ends of the bar (the caption is in the middle).
    expectPicture(shown, bar, kBlackRgb, kBlackRgb, 0, {0, 0, 11, 29});
    expectPicture(shown, bar, kBlackRgb, kBlackRgb, 0, {84, 0, 95, 29});
    for (int x = 0; x < 96; ++x) {
        ASSERT_EQ(rgb(shown, x, 30), kBlackRgb);
        ASSERT_EQ(rgb(shown, x, 31), kBlackRgb);
    }
    // The caption is drawn over the bar in white.
    bool white = false;
    for (int x = 20; x < 76 && !white; ++x) {
        for (int y = 8; y < 24 && !white; ++y) {
            white = qRed(shown.pixel(x, y)) > 0xE0 && qGreen(shown.pixel(x, y)) > 0xE0;
        }
    }
    EXPECT_TRUE(white);
}

TEST_F(GuiTest, PressedButtonDrawsOnePixelRightAndDown) {
    FormWindow& window = mainWindow();
    auto* button = qobject_cast<ImageButton*>(window.controlWidget("官方音按钮1"));
    const QImage bar = embeddedPicture("pictures/bar.jpg");
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(48, 16));
    ASSERT_TRUE(button->pressedLook());
    const QImage pressed = grab(*button);
    expectPicture(pressed, bar, kBlackRgb, kBlackRgb, 1, {0, 0, 10, 29});
    for (int y = 0; y < 32; ++y) {
        ASSERT_EQ(rgb(pressed, 0, y), kBlackRgb);  // the background column left of the picture
    }
    // Dragged off the button it is drawn unpressed; back on, pressed again.
    QTest::mouseMove(button, QPoint(200, 16));
    QMouseEvent away(QEvent::MouseMove, QPointF(200, 16), button->mapToGlobal(QPointF(200, 16)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &away);
    EXPECT_FALSE(button->pressedLook());
    expectPicture(grab(*button), bar, kBlackRgb, kBlackRgb, 0, {0, 0, 10, 29});
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(200, 16));
}

// A button disabled itself draws its outside picture greyed; one whose window is
// disabled (while a dialog-mode window is open) keeps its look.
TEST_F(GuiTest, OnlyAButtonDisabledItselfLooksGreyed) {
    FormWindow& window = mainWindow();
    auto* button = qobject_cast<ImageButton*>(window.controlWidget("特定按钮5"));
    const QImage normal = grab(*button);
    window.setEnabled(false);
    EXPECT_EQ(button->state(), ImageButton::State::Outside);
    EXPECT_EQ(grab(*button), normal);
    window.setEnabled(true);
    button->setEnabled(false);
    EXPECT_EQ(button->state(), ImageButton::State::Disabled);
    const QImage greyed = grab(*button);
    const QColor magenta = normal.pixelColor(50, 40);  // below the caption
    const QColor grey = greyed.pixelColor(50, 40);
    EXPECT_GT(magenta.red() - magenta.green(), 60);
    EXPECT_EQ(grey.red(), grey.green());
    EXPECT_EQ(grey.green(), grey.blue());
}

// The play button: blue background outside, black while pressed, and the
// picture's blue corners left out in every state.
TEST_F(GuiTest, PlayButtonLeavesItsTransparentColourOut) {
    FormWindow& window = mainWindow();
    QTest::mouseClick(window.controlWidget("特定按钮3"), Qt::LeftButton);
    auto* button = qobject_cast<ImageButton*>(window.controlWidget("自定义播放按钮1"));
    const QImage play = embeddedPicture("pictures/play.jpg");
    ASSERT_EQ(rgb(play, 0, 0), kBlueRgb);  // the generator keeps the key colour exact
    const QImage outside = grab(*button);
    expectPicture(outside, play, kBlueRgb, kBlueRgb, 0, {0, 0, 49, 49});
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(25, 25));
    const QImage pressed = grab(*button);
    expectPicture(pressed, play, kBlueRgb, kBlackRgb, 1, {0, 0, 48, 48});
    EXPECT_EQ(rgb(pressed, 1, 1), kBlackRgb);
    EXPECT_EQ(rgb(pressed, 25, 3), kBlackRgb);  // above the disc: blue left out
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(25, 25));
}

TEST_F(GuiTest, TabButtonSwitchesToItsSecondPictureUnderTheMouse) {
    FormWindow& window = mainWindow();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* tab = qobject_cast<ImageButton*>(window.controlWidget("特定按钮5"));
    const QImage out = embeddedPicture("pictures/tab_out.jpg");
    const QImage in = embeddedPicture("pictures/tab_in.jpg");
    const Region belowCaption{0, 36, 99, 44};
    const Region ribbon{84, 0, 99, 22};  // right of the caption
    expectPicture(grab(*tab), out, kBlackRgb, kBlackRgb, 0, belowCaption);
    expectPicture(grab(*tab), out, kBlackRgb, kBlackRgb, 0, ribbon);
    QEnterEvent enter(QPointF(50, 20), QPointF(50, 20), tab->mapToGlobal(QPointF(50, 20)));
    QApplication::sendEvent(tab, &enter);
    ASSERT_EQ(tab->state(), ImageButton::State::In);
    expectPicture(grab(*tab), in, kBlueRgb, kBlackRgb, 0, belowCaption);
    expectPicture(grab(*tab), in, kBlueRgb, kBlackRgb, 0, ribbon);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(tab, &leave);
    EXPECT_EQ(tab->state(), ImageButton::State::Outside);
    // Focus without the mouse: the outside picture with the focus colours.
    tab->setFocus();
    EXPECT_EQ(tab->state(), ImageButton::State::Focus);
    expectPicture(grab(*tab), out, kBlackRgb, kBlackRgb, 0, belowCaption);
}

// A picture box smaller than half its picture gets the picture decoded at a
// reduced size that still covers it, and looks the same stretched.
TEST_F(GuiTest, PictureDecodedReducedForItsBoxLooksTheSame) {
    struct Case {
        QSize box;
        QSize decoded;
    };
    const Case cases[] = {{{}, {1600, 300}},
                          {{688, 72}, {800, 150}},
                          {{801, 72}, {1600, 300}},
                          {{200, 37}, {200, 38}}};
    for (const Case& c : cases) {
        EXPECT_EQ(embeddedPicture("pictures/banner.jpg", c.box).size(), c.decoded) << c.box.width();
    }
    auto drawn = [](const QImage& picture) {
        PictureBox box(picture, nullptr);
        box.resize(688, 72);
        return grab(box);
    };
    const QImage full = drawn(embeddedPicture("pictures/banner.jpg"));
    const QImage reduced = drawn(embeddedPicture("pictures/banner.jpg", {688, 72}));
    long difference = 0;
    for (int y = 0; y < 72; ++y) {
        for (int x = 0; x < 688; ++x) {
            difference += std::abs(qGray(full.pixel(x, y)) - qGray(reduced.pixel(x, y)));
        }
    }
    EXPECT_LT(difference / (688 * 72), 3);  // mean grey difference under 3 levels
}

// A label over a picture: where it draws no text the picture shows, before and
// after its caption changes.
TEST_F(GuiTest, TransparentLabelLetsThePictureUnderItShow) {
    const QImage banner = embeddedPicture("pictures/banner.jpg");
    PictureBox box(banner, nullptr);
    box.resize(688, 72);
    const QImage bare = grab(box);
    layout::LabelLook look{.colour = layout::kWhite, .align = layout::HAlign::Left};
    auto* label = new TransparentLabel(look, &box);
    label->setGeometry(100, 10, 300, 40);
    label->setFont(QFont(QApplication::font().family(), 10));
    label->setCaption(QStringLiteral("I"));
    const QImage withText = grab(box);
    int textPixels = 0;
    for (int y = 10; y < 50; ++y) {
        for (int x = 100; x < 400; ++x) {
            if (x >= 130) {
                ASSERT_EQ(withText.pixel(x, y), bare.pixel(x, y)) << x << "," << y;
            } else {
                textPixels += withText.pixel(x, y) != bare.pixel(x, y);
            }
        }
    }
    EXPECT_GT(textPixels, 0);
    label->setCaption(QString());
    EXPECT_EQ(grab(box), bare);
}

// Text effects over grey: 1 a white copy right and down, 2 a white copy at the
// place and the caption right and down, 3 a black copy 2 pixels right and down.
TEST_F(GuiTest, LabelEffectsDrawTheirCopies) {
    struct Case {
        int effect;
        int copyShift;  // the copy's offset from the caption in x and y; 0: no copy
        bool whiteCopy;
    };
    const Case cases[] = {{0, 0, false}, {1, 1, true}, {2, -1, true}, {3, 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.effect);
        QImage grey(60, 40, QImage::Format_RGB32);
        grey.fill(QColor(0x80, 0x80, 0x80));
        PictureBox box(grey, nullptr);
        box.resize(60, 40);
        layout::LabelLook look{.colour = layout::rgb(0xFF, 0, 0), .effect = c.effect};
        auto* label = new TransparentLabel(look, &box);
        label->setGeometry(0, 0, 60, 40);
        QFont font(QApplication::font().family());
        font.setPixelSize(30);
        label->setFont(font);
        label->setCaption(QStringLiteral("H"));
        const QImage shown = grab(box);
        // Centres of the caption's pixels and of the copy's (white, or black).
        double redX = 0, redY = 0, copyX = 0, copyY = 0;
        int red = 0, copy = 0;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 60; ++x) {
                const QColor p = shown.pixelColor(x, y);
                if (p.red() > 200 && p.green() < 60) {
                    redX += x, redY += y, ++red;
                } else if (c.whiteCopy ? p.green() > 200 : p.red() < 40) {
                    copyX += x, copyY += y, ++copy;
                }
            }
        }
        ASSERT_GT(red, 0);
        if (c.copyShift == 0) {
            EXPECT_EQ(copy, 0);
            continue;
        }
        ASSERT_GT(copy, 0);
        // What shows of the copy is the strip the caption leaves uncovered, on
        // the side the copy was moved to.
        EXPECT_GT((copyX / copy - redX / red) * c.copyShift, 0.3);
        EXPECT_GT((copyY / copy - redY / red) * c.copyShift, 0.3);
    }
}

// The slot names wrap into four lines of the 48-pixel label.
TEST_F(GuiTest, SlotNameWrapsIntoAllFourLines) {
    FormWindow& window = mainWindow();
    QWidget* name = window.controlWidget("自定义歌曲名字1");
    const QImage shown = grab(*window.controlWidget("图片框1")).copy(name->geometry());
    int lastTextRow = -1;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (qGreen(shown.pixel(x, y)) > 0x40) {
                lastTextRow = y;
            }
        }
    }
    EXPECT_GE(lastTextRow, 38);
}

}  // namespace
}  // namespace lumivox::testing
