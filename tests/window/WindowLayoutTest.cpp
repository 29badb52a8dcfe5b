// The statement window: every control's kind, parent, geometry, caption and settings from a
// table, the stacking when resized, the scroll bar below 360 pixels, focus order and keys.

#include "BoxWatcher.h"
#include "app/Application.h"
#include "core/Exceptions.h"
#include "u_L_Tavolix.h"
#include "u_dm.h"

#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

namespace {

QWidget* Control(const char* name) {
    return L_Tavolix->findChild<QWidget*>(QString::fromLatin1(name));
}

// Shows the window at the stored client size and lets its layout settle.
class Window : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(L_Tavolix, nullptr);
        L_Tavolix->resize(860, 599);
        L_Tavolix->show();
        Settle();
    }
    static void Settle() {
        for (int i = 0; i < 3; ++i) {
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QApplication::processEvents();
        }
    }
    static void Activate() {
        QApplication::setActiveWindow(L_Tavolix);
        ASSERT_TRUE(QTest::qWaitForWindowActive(L_Tavolix));
    }
};

// ---- every control from one table -------------------------------------------------------

struct ControlCase {
    const char* name;
    const char* kind;   // Qt class the control is (or derives from)
    const char* parent; // "window" is the client area
    QRect geometry;     // within the parent, at client size 860x599
    bool focusable;
    const char* caption;   // nullptr: no caption to check
    bool autoSize = false; // sizes itself to its text: the stored size depends on the font
};

const ControlCase kControls[] = {
    {"Panel1", "QFrame", "window", {0, 0, 860, 103}, false, nullptr},
    {"Label1", "QLabel", "Panel1", {8, 8, 57, 16}, false, "DataBase ", true},
    {"ComboBox1", "QComboBox", "Panel1", {8, 32, 257, 24}, true, ""},
    {"Image1", "QLabel", "Panel1", {265, 18, 56, 49}, false, nullptr},
    {"Button1", "QPushButton", "Panel1", {8, 67, 75, 25}, true, "Çalıştır"},
    {"CheckBox1", "QCheckBox", "Panel1", {96, 72, 97, 17}, true, "ExeCute"},
    {"mSQL", "QPlainTextEdit", "window", {0, 103, 860, 226}, true, ""},
    {"cxSplitter1", "vcl::TcxSplitter", "window", {0, 329, 860, 8}, false, nullptr},
    {"DBGrid1", "vcl::TDBGrid", "window", {0, 337, 860, 239}, true, nullptr},
    {"StatusBar1", "vcl::TStatusBar", "window", {0, 576, 860, 23}, false, nullptr},
};

class EachControl : public Window, public ::testing::WithParamInterface<ControlCase> {};

QString Caption(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentText();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w))
        return edit->toPlainText();
    return {};
}

TEST_P(EachControl, MatchesTheLayout) {
    const ControlCase& c = GetParam();
    QWidget* w = Control(c.name);
    ASSERT_NE(w, nullptr) << c.name;
    EXPECT_TRUE(w->inherits(c.kind)) << c.name << " is a " << w->metaObject()->className();
    const QString parent = QString::fromLatin1(c.parent) == QLatin1String("window")
                               ? L_Tavolix->ClientArea()->objectName()
                               : QString::fromLatin1(c.parent);
    ASSERT_NE(w->parentWidget(), nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), parent) << c.name;
    if (c.autoSize) {
        EXPECT_EQ(w->pos(), c.geometry.topLeft()) << c.name;
        EXPECT_EQ(w->size(), w->sizeHint()) << c.name;
    } else {
        EXPECT_EQ(w->geometry(), c.geometry) << c.name;
    }
    EXPECT_EQ(w->focusPolicy() != Qt::NoFocus, c.focusable) << c.name;
    if (c.caption) {
        EXPECT_EQ(Caption(w), QString::fromUtf8(c.caption)) << c.name;
    }
    EXPECT_FALSE(w->accessibleName().isEmpty()) << c.name;
    EXPECT_EQ(w->accessibleDescription(), QString::fromLatin1(c.name));
    if (QString::fromLatin1(c.name) != QLatin1String("StatusBar1")) {
        EXPECT_EQ(w->font().family(), QStringLiteral("Tahoma")) << c.name;
        EXPECT_EQ(w->font().pixelSize(), 13) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EachControl, ::testing::ValuesIn(kControls),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Window, ControlsAreCreatedInDeclarationOrder) {
    QStringList order;
    for (QObject* child : L_Tavolix->ClientArea()->children())
        if (!child->objectName().isEmpty())
            order << child->objectName();
    EXPECT_EQ(order, (QStringList{"mSQL", "Panel1", "cxSplitter1", "DBGrid1", "StatusBar1"}));
    order.clear();
    for (QObject* child : L_Tavolix->Panel1->children())
        if (!child->objectName().isEmpty())
            order << child->objectName();
    EXPECT_EQ(order, (QStringList{"Button1", "ComboBox1", "Label1", "CheckBox1", "Image1"}));
}

// ---- the window ---------------------------------------------------------------------------

TEST_F(Window, WindowSettings) {
    EXPECT_EQ(vcl::Application->MainForm(), L_Tavolix);
    EXPECT_EQ(L_Tavolix->windowTitle(), QStringLiteral("Tavolix V1.0"));
    EXPECT_EQ(L_Tavolix->pos(), QPoint(279, 122));
    EXPECT_EQ(L_Tavolix->size(), QSize(860, 599));
    EXPECT_FALSE(L_Tavolix->isMaximized());
    const Qt::WindowFlags flags = L_Tavolix->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_EQ(L_Tavolix->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(L_Tavolix->font().pixelSize(), 13);
    if (QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"))) {
        EXPECT_EQ(QFontInfo(L_Tavolix->font()).family(), QStringLiteral("Tahoma"))
            << "the registered Tahoma face is the one drawn";
    }
    // The application's icon, none of the window's own.
    const QIcon icon = L_Tavolix->windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.cacheKey(), QApplication::windowIcon().cacheKey());
    const QImage picture = icon.pixmap(48, 48).toImage();
    EXPECT_EQ(picture.size(), QSize(48, 48));
    EXPECT_TRUE(picture.hasAlphaChannel());
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0) << "transparent background";
}

TEST_F(Window, ControlSettings) {
    EXPECT_EQ(L_Tavolix->Panel1->frameShape(), QFrame::Panel);
    EXPECT_EQ(L_Tavolix->Panel1->frameShadow(), QFrame::Raised);

    EXPECT_EQ(L_Tavolix->Label1->buddy(), L_Tavolix->ComboBox1);

    QComboBox* combo = L_Tavolix->ComboBox1;
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->maxVisibleItems(), 8);
    EXPECT_EQ(combo->insertPolicy(), QComboBox::NoInsert);
    ASSERT_NE(combo->completer(), nullptr);
    EXPECT_EQ(combo->lineEdit()->maxLength(), std::numeric_limits<int>::max());

    QLabel* image = L_Tavolix->Image1;
    EXPECT_FALSE(image->isVisibleTo(L_Tavolix)) << "hidden until connected";
    EXPECT_EQ(image->alignment(), Qt::AlignLeft | Qt::AlignTop);
    EXPECT_FALSE(image->hasScaledContents());
    const QImage indicator = image->pixmap().toImage();
    EXPECT_EQ(indicator.size(), QSize(48, 48));
    EXPECT_TRUE(indicator.hasAlphaChannel());
    EXPECT_EQ(qAlpha(indicator.pixel(0, 47)), 0);

    EXPECT_FALSE(L_Tavolix->Button1->isDefault());
    EXPECT_FALSE(L_Tavolix->Button1->autoDefault());

    EXPECT_FALSE(L_Tavolix->CheckBox1->isChecked());
    EXPECT_FALSE(L_Tavolix->CheckBox1->isTristate());

    QPlainTextEdit* sql = L_Tavolix->mSQL;
    EXPECT_EQ(sql->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(sql->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(sql->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_TRUE(sql->tabChangesFocus());
    EXPECT_FALSE(sql->isReadOnly());

    EXPECT_EQ(L_Tavolix->cxSplitter1->ResizeControl(), sql);
    EXPECT_EQ(L_Tavolix->cxSplitter1->HotZoneClassName, QStringLiteral("TcxXPTaskBarStyle"));

    EXPECT_EQ(L_Tavolix->DBGrid1->DataSource(), &dm->DataSource1);
    EXPECT_EQ(L_Tavolix->DBGrid1->horizontalHeader()->font().family(), QStringLiteral("Tahoma"));
}

TEST_F(Window, StatusBarPanels) {
    vcl::TStatusBar* bar = L_Tavolix->StatusBar1;
    ASSERT_EQ(bar->PanelCount(), 2);
    EXPECT_TRUE(bar->isSizeGripEnabled());
    EXPECT_EQ(bar->Panel(0)->width(), 150);
    EXPECT_TRUE(bar->Panel(1)->text().isEmpty());
    // The last panel reaches the right end, up to the size grip.
    const int panel1Right = bar->Panel(1)->geometry().right();
    EXPECT_GT(panel1Right, bar->width() - 40) << panel1Right << " of " << bar->width();
    EXPECT_THROW(bar->Panel(2), vcl::Exception);

    // A long text is clipped at the panel's edge and moves nothing.
    const QString saved = bar->Panel(0)->text();
    bar->Panel(0)->setText(QString(200, QLatin1Char('x')));
    Settle();
    EXPECT_EQ(bar->Panel(0)->width(), 150);
    EXPECT_EQ(L_Tavolix->ScrollBox()->horizontalScrollBar()->isVisible(), false);
    bar->Panel(0)->setText(saved);

    // The system's font, not the window's.
    EXPECT_FALSE(bar->font().family() == QStringLiteral("Tahoma") && bar->font().pixelSize() == 13);
    EXPECT_EQ(bar->font(), QApplication::font(bar));
}

// ---- stacking and scrolling ------------------------------------------------------------------

class Resized : public Window {
protected:
    void TearDown() override {
        L_Tavolix->resize(860, 599);
        Settle();
    }
};

TEST_F(Resized, GridTakesTheChangeInHeight) {
    L_Tavolix->resize(1000, 700);
    Settle();
    EXPECT_EQ(L_Tavolix->Panel1->geometry(), QRect(0, 0, 1000, 103));
    EXPECT_EQ(L_Tavolix->mSQL->geometry(), QRect(0, 103, 1000, 226));
    EXPECT_EQ(L_Tavolix->cxSplitter1->geometry(), QRect(0, 329, 1000, 8));
    EXPECT_EQ(L_Tavolix->DBGrid1->geometry(), QRect(0, 337, 1000, 340));
    EXPECT_EQ(L_Tavolix->StatusBar1->geometry(), QRect(0, 677, 1000, 23));
    EXPECT_EQ(L_Tavolix->Button1->geometry(), QRect(8, 67, 75, 25)) << "children stay put";
}

TEST_F(Resized, VerticalScrollBarBelow360PixelsOfClientArea) {
    struct Case {
        int height;
        bool scrolls;
    };
    for (const Case c :
         {Case{599, false}, Case{361, false}, Case{360, false}, Case{359, true}, Case{200, true}}) {
        L_Tavolix->resize(860, c.height);
        Settle();
        QScrollBar* bar = L_Tavolix->ScrollBox()->verticalScrollBar();
        EXPECT_EQ(bar->isVisible(), c.scrolls) << "client height " << c.height;
        EXPECT_FALSE(L_Tavolix->ScrollBox()->horizontalScrollBar()->isVisible());
        if (c.scrolls) {
            EXPECT_EQ(bar->maximum(), 360 - c.height) << "client height " << c.height;
            EXPECT_EQ(L_Tavolix->StatusBar1->geometry().bottom(), 359);
        }
    }
}

// ---- focus and keys ------------------------------------------------------------------------

QWidget* FocusedControl() {
    QWidget* w = QApplication::focusWidget();
    // The combo box's edit field stands for the combo box.
    if (w && qobject_cast<QComboBox*>(w->parentWidget()))
        return w->parentWidget();
    return w;
}

TEST_F(Window, FocusStartsInTheEditorAndTabFollowsTheOrder) {
    Activate();
    EXPECT_EQ(FocusedControl(), L_Tavolix->mSQL);
    const QStringList expected{"Button1", "ComboBox1", "CheckBox1", "DBGrid1"};
    QStringList seen;
    for (int i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << (FocusedControl() ? FocusedControl()->objectName() : QStringLiteral("(none)"));
    }
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(L_Tavolix->mSQL->toPlainText().isEmpty()) << "Tab is no character in the editor";
    L_Tavolix->mSQL->setFocus();
}

TEST_F(Window, EnterInTheEditorInsertsALineBreak) {
    Activate();
    QPlainTextEdit* sql = L_Tavolix->mSQL;
    sql->setFocus();
    testgui::BoxWatcher boxes;
    QTest::keyClicks(sql, QStringLiteral("select 1"));
    QTest::keyClick(sql, Qt::Key_Return);
    QTest::keyClicks(sql, QStringLiteral("from rdb$database"));
    QTest::keyClick(sql, Qt::Key_Enter); // the keypad's
    EXPECT_EQ(sql->toPlainText(), QStringLiteral("select 1\nfrom rdb$database\n"));
    EXPECT_EQ(FocusedControl(), sql);
    EXPECT_TRUE(boxes.Boxes().empty());
    sql->clear();
}

TEST_F(Window, EnterInTheDatabaseListAddsNoEntry) {
    Activate();
    QComboBox* combo = L_Tavolix->ComboBox1;
    const int before = combo->count();
    combo->setFocus();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("typed.fdb"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(combo->count(), before);
    combo->lineEdit()->clear();
}

} // namespace

// A single huge line is not wrapped, so laying it out does not freeze the window; the editor
// wraps again once the text is small, and its text still reaches the query unchanged.
TEST_F(Window, AHugeLineTurnsWrappingOffAndBack) {
    vcl::TMemo* sql = L_Tavolix->mSQL;
    const QString huge = QStringLiteral("select '") +
                         QString(vcl::TMemo::kMaxWrappedLine * 4, QLatin1Char('x')) +
                         QStringLiteral("' from rdb$database");
    sql->setPlainText(huge);
    QApplication::processEvents();
    EXPECT_EQ(sql->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(sql->Text(), huge.toStdString());

    sql->setPlainText(QStringLiteral("select 1\nfrom rdb$database"));
    EXPECT_EQ(sql->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(sql->Text(), "select 1\r\nfrom rdb$database");
    sql->clear();
}
