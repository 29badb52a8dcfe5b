// The splitter bar in a stack shaped like the statement window: a 103-pixel top panel, the
// 226-pixel control it resizes, the bar, a grid that takes the rest and a 23-pixel status bar.

#include "controls/Splitter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

namespace {

using vcl::TcxSplitter;

constexpr int kClientWidth = 860;
constexpr int kClientHeight = 599;
constexpr int kTop = 103;
constexpr int kControl = 226;
constexpr QPoint kOffGrip{50, 4};
constexpr QPoint kOnGrip{430, 3};

class SplitterTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        top = Fixed(kTop);
        control = Fixed(kControl);
        control->setFocusPolicy(Qt::StrongFocus);
        splitter = new TcxSplitter(window.get());
        splitter->SetResizeControl(control);
        grid = new QWidget(window.get());
        grid->setFocusPolicy(Qt::StrongFocus);
        status = Fixed(23);
        layout->addWidget(top);
        layout->addWidget(control);
        layout->addWidget(splitter);
        layout->addWidget(grid, 1);
        layout->addWidget(status);
        window->resize(kClientWidth, kClientHeight);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        Settle();
    }

    QWidget* Fixed(int h) {
        auto* w = new QWidget(window.get());
        w->setFixedHeight(h);
        return w;
    }

    void Settle() {
        QCoreApplication::sendPostedEvents();
        window->layout()->activate();
    }

    // A left-button gesture on the bar: press at `at`, move by `by`, release there.
    void Drag(QPoint at, QPoint by) {
        QTest::mousePress(splitter, Qt::LeftButton, {}, at);
        QTest::mouseMove(splitter, at + by);
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, at + by);
        Settle();
    }

    void ClickGrip() { Drag(kOnGrip, {0, 0}); }

    QWidget* DragImage() const { return window->findChild<QWidget*>("SplitterDragImage"); }

    std::unique_ptr<QWidget> window;
    QWidget* top = nullptr;
    QWidget* control = nullptr;
    TcxSplitter* splitter = nullptr;
    QWidget* grid = nullptr;
    QWidget* status = nullptr;
};

TEST_F(SplitterTest, SitsBelowTheControlAtFixedHeightAndFullWidth) {
    EXPECT_EQ(splitter->geometry(), QRect(0, kTop + kControl, kClientWidth, 8));
    EXPECT_EQ(grid->height(), kClientHeight - kTop - kControl - 8 - 23);
    EXPECT_EQ(splitter->accessibleName(), "Splitter");
    EXPECT_EQ(splitter->HotZoneClassName, "TcxXPTaskBarStyle");
    EXPECT_FALSE(splitter->IsCollapsed());
}

TEST_F(SplitterTest, GripIsThirtyPercentOfTheWidthAndCentred) {
    const struct {
        int width;
        QRect grip;
    } cases[] = {{kClientWidth, QRect(301, 0, 258, 7)}, {100, QRect(35, 0, 30, 7)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        window->resize(c.width, kClientHeight);
        Settle();
        EXPECT_EQ(splitter->GripRect(), c.grip);
    }
}

TEST_F(SplitterTest, DrawsDotsOnlyInsideTheGripAndACheckeredDragImage) {
    const QImage bar = splitter->grab().toImage();
    const QRgb background = splitter->palette().color(QPalette::Window).rgb();
    const QRect grip = splitter->GripRect();
    int dots = 0;
    for (int y = 0; y < bar.height(); ++y)
        for (int x = 0; x < bar.width(); ++x) {
            const bool drawn = bar.pixel(x, y) != background;
            EXPECT_TRUE(!drawn || grip.contains(x, y)) << x << "," << y;
            dots += drawn;
        }
    EXPECT_GT(dots, grip.width());

    QTest::mousePress(splitter, Qt::LeftButton, {}, kOffGrip);
    QTest::mouseMove(splitter, kOffGrip + QPoint(0, 20));
    const QImage image = DragImage()->grab().toImage();
    EXPECT_NE(image.pixel(0, 0), image.pixel(1, 0));
    EXPECT_NE(image.pixel(0, 0), image.pixel(0, 1));
    EXPECT_EQ(image.pixel(0, 0), image.pixel(1, 1));
    QTest::mouseRelease(splitter, Qt::LeftButton, {}, kOffGrip + QPoint(0, 20));
}

TEST_F(SplitterTest, PointerIsSplitOverTheBarAndArrowOverTheGrip) {
    const struct {
        QPoint at;
        Qt::CursorShape shape;
    } cases[] = {{{0, 4}, Qt::SplitVCursor},   {{300, 3}, Qt::SplitVCursor},
                 {{301, 3}, Qt::ArrowCursor},  {{558, 0}, Qt::ArrowCursor},
                 {{558, 7}, Qt::SplitVCursor}, {{559, 3}, Qt::SplitVCursor},
                 {{430, 3}, Qt::ArrowCursor},  {{859, 7}, Qt::SplitVCursor}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.at.x() << "," << c.at.y());
        QMouseEvent hover(QEvent::MouseMove, c.at, splitter->mapToGlobal(c.at), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(splitter, &hover);
        EXPECT_EQ(splitter->cursor().shape(), c.shape);
    }
}

TEST_F(SplitterTest, NeverTakesTheFocus) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    control->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), control);

    Drag(kOffGrip, {0, 0});
    ClickGrip();
    ClickGrip();
    EXPECT_EQ(QApplication::focusWidget(), control);

    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_NE(QApplication::focusWidget(), splitter);
    }
    EXPECT_EQ(splitter->focusPolicy(), Qt::NoFocus);
}

TEST_F(SplitterTest, ResizesTheControlOnlyOnRelease) {
    QTest::mousePress(splitter, Qt::LeftButton, {}, kOffGrip);
    QTest::mouseMove(splitter, kOffGrip + QPoint(0, 40));
    QTest::mouseMove(splitter, kOffGrip + QPoint(0, 100));
    Settle();
    EXPECT_TRUE(splitter->IsDragging());
    EXPECT_EQ(control->height(), kControl);
    ASSERT_NE(DragImage(), nullptr);
    EXPECT_TRUE(DragImage()->isVisible());
    EXPECT_EQ(DragImage()->geometry(), QRect(0, kTop + kControl + 100, kClientWidth, 8));

    QTest::mouseRelease(splitter, Qt::LeftButton, {}, kOffGrip + QPoint(0, 100));
    Settle();
    EXPECT_FALSE(splitter->IsDragging());
    EXPECT_FALSE(DragImage()->isVisible());
    EXPECT_EQ(control->height(), kControl + 100);
    EXPECT_EQ(splitter->y(), kTop + kControl + 100);
    EXPECT_EQ(grid->height(), kClientHeight - kTop - (kControl + 100) - 8 - 23);
}

TEST_F(SplitterTest, DragIsLimitedSoThirtyPixelsStayAboveAndBelow) {
    // The largest height is the client height less the bar, the control's top and 30.
    const struct {
        int clientHeight;
        int dy;
        int expected;
    } cases[] = {
        {kClientHeight, 0, kControl}, {kClientHeight, -100, 126},       {kClientHeight, -195, 31},
        {kClientHeight, -196, 30},    {kClientHeight, -197, 30},        {kClientHeight, -1000, 30},
        {kClientHeight, 231, 457},    {kClientHeight, 232, 458},        {kClientHeight, 233, 458},
        {kClientHeight, 1000, 458},   {400, 1000, 400 - 8 - kTop - 30}, {360, 1000, 219},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.clientHeight << " " << c.dy);
        control->setFixedHeight(kControl);
        Settle(); // lets the window's minimum height follow the control's before resizing
        window->resize(kClientWidth, c.clientHeight);
        Settle();
        ASSERT_EQ(window->height(), c.clientHeight);
        Drag(kOffGrip, {0, c.dy});
        EXPECT_EQ(control->maximumHeight(), c.expected);
        EXPECT_EQ(control->minimumHeight(), c.expected);
        EXPECT_FALSE(splitter->IsCollapsed());
    }
}

TEST_F(SplitterTest, EscapeCancelsADrag) {
    QTest::mousePress(splitter, Qt::LeftButton, {}, kOffGrip);
    QTest::mouseMove(splitter, kOffGrip + QPoint(0, 100));
    EXPECT_EQ(QWidget::keyboardGrabber(), splitter);

    // Through the window, as a real key press would arrive.
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(splitter->IsDragging());
    EXPECT_FALSE(DragImage()->isVisible());
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);

    QTest::mouseMove(splitter, kOffGrip + QPoint(0, 150));
    QTest::mouseRelease(splitter, Qt::LeftButton, {}, kOffGrip + QPoint(0, 150));
    Settle();
    EXPECT_EQ(control->height(), kControl);
    EXPECT_FALSE(DragImage()->isVisible());
}

TEST_F(SplitterTest, ClickOnTheGripCollapsesAndRestores) {
    ClickGrip();
    EXPECT_TRUE(splitter->IsCollapsed());
    EXPECT_EQ(control->height(), 0);
    EXPECT_EQ(splitter->y(), kTop);
    EXPECT_EQ(grid->height(), kClientHeight - kTop - 8 - 23);

    ClickGrip();
    EXPECT_FALSE(splitter->IsCollapsed());
    EXPECT_EQ(control->height(), kControl);
    EXPECT_EQ(splitter->y(), kTop + kControl);
}

TEST_F(SplitterTest, RestoreGivesAtLeastThirtyPixels) {
    control->setFixedHeight(10);
    ClickGrip();
    EXPECT_EQ(control->height(), 0);
    ClickGrip();
    EXPECT_EQ(control->height(), 30);
}

TEST_F(SplitterTest, MovingThreePixelsOnTheGripTurnsIntoADrag) {
    const struct {
        QPoint by;
        bool collapses;
        int height;
    } cases[] = {
        {{0, 0}, true, 0},
        {{2, 2}, true, 0},
        {{-2, -2}, true, 0},
        {{3, 0}, false, kControl},
        {{-3, 0}, false, kControl},
        {{0, 3}, false, kControl + 3},
        {{0, -3}, false, kControl - 3},
        {{0, 50}, false, kControl + 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.by.x() << "," << c.by.y());
        if (splitter->IsCollapsed())
            ClickGrip();
        control->setFixedHeight(kControl);
        Settle();
        Drag(kOnGrip, c.by);
        EXPECT_EQ(splitter->IsCollapsed(), c.collapses);
        EXPECT_EQ(control->height(), c.height);
    }
}

TEST_F(SplitterTest, DragFromTheCollapsedBarEndsTheCollapse) {
    ClickGrip();
    ASSERT_TRUE(splitter->IsCollapsed());
    Drag(kOffGrip, {0, 10});
    EXPECT_FALSE(splitter->IsCollapsed());
    EXPECT_EQ(control->height(), 30);

    Drag(kOffGrip, {0, 50});
    EXPECT_EQ(control->height(), 80);
    // A fresh collapse, not a restore of the height before the first one.
    ClickGrip();
    EXPECT_TRUE(splitter->IsCollapsed());
    ClickGrip();
    EXPECT_EQ(control->height(), 80);
}

TEST_F(SplitterTest, GesturesWithoutAControlDoNothing) {
    splitter->SetResizeControl(nullptr);
    Drag(kOffGrip, {0, 100});
    ClickGrip();
    EXPECT_EQ(control->height(), kControl);
    EXPECT_FALSE(splitter->IsCollapsed());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform reports every keyboard grab and size hint it cannot pass on.
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
        if (!msg.startsWith(QLatin1String("This plugin does not support")))
            previous(type, ctx, msg);
    });
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
