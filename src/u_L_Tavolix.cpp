#include "u_L_Tavolix.h"

#include "app/Application.h"
#include "core/DateTimeText.h"
#include "core/Exceptions.h"
#include "core/StringList.h"
#include "u_dm.h"

#include <QCompleter>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

#include <filesystem>
#include <iterator>
#include <limits>

TL_Tavolix* L_Tavolix = nullptr;

namespace {

// The whole layout at a glance. Positions are within the parent; "window" is the client area.
// Top-aligned controls stack in the order listed; the client-aligned one takes what is left.
enum class Align { None, Top, Client, Bottom };

struct ControlLayout {
    const char* name;
    const char* parent;
    int left, top, width, height;
    Align align;
    const char* accessibleName;
};

constexpr ControlLayout kControls[] = {
    {"Panel1", "window", 0, 0, 860, 103, Align::Top, "Database and run"},
    {"Label1", "Panel1", 8, 8, 57, 16, Align::None, "Database label"},
    {"ComboBox1", "Panel1", 8, 32, 257, 24, Align::None, "Database"},
    {"Image1", "Panel1", 265, 18, 56, 49, Align::None, "Connected"},
    {"Button1", "Panel1", 8, 67, 75, 25, Align::None, "Run statement"},
    {"CheckBox1", "Panel1", 96, 72, 97, 17, Align::None, "Execute and commit"},
    {"mSQL", "window", 0, 103, 860, 226, Align::Top, "SQL statement"},
    {"cxSplitter1", "window", 0, 329, 860, 8, Align::Top, "Editor height"},
    {"DBGrid1", "window", 0, 337, 860, 239, Align::Client, "Result rows"},
    {"StatusBar1", "window", 0, 576, 860, 23, Align::Bottom, "Status"},
};

constexpr const char* kTabOrder[] = {"mSQL", "Button1", "ComboBox1", "CheckBox1", "DBGrid1"};

constexpr const char* kCaption = "Tavolix V1.0";
constexpr int kLeft = 279, kTop = 122, kClientWidth = 860, kClientHeight = 599;
constexpr const char* kFontFamily = "Tahoma";
constexpr int kFontPixels = 13;

constexpr const char* kLabel1Caption = "DataBase ";
constexpr const char* kButton1Caption = "Çalıştır";
constexpr const char* kCheckBox1Caption = "ExeCute";
constexpr int kComboBoxVisibleItems = 8;
constexpr int kStatusPanel0Width = 150, kStatusPanel1Width = 50;
constexpr const char* kIndicatorPicture = ":/Image1.png";

} // namespace

TL_Tavolix::TL_Tavolix(vcl::TComponent* owner) : vcl::TForm(owner) {
    if (!dm)
        throw vcl::EComponentError("The data module dm must be created before the window");

    setWindowTitle(QString::fromUtf8(kCaption));
    QFont font(QString::fromLatin1(kFontFamily));
    font.setPixelSize(kFontPixels);
    setFont(font);

    QWidget* client = ClientArea();
    mSQL = new vcl::TMemo(client);
    Panel1 = new QFrame(client);
    Button1 = new QPushButton(QString::fromUtf8(kButton1Caption), Panel1);
    ComboBox1 = new QComboBox(Panel1);
    Label1 = new QLabel(QString::fromUtf8(kLabel1Caption), Panel1);
    CheckBox1 = new QCheckBox(QString::fromUtf8(kCheckBox1Caption), Panel1);
    Image1 = new QLabel(Panel1);
    cxSplitter1 = new vcl::TcxSplitter(client);
    DBGrid1 = new vcl::TDBGrid(client);
    StatusBar1 = new vcl::TStatusBar(client, {kStatusPanel0Width, kStatusPanel1Width});

    const std::pair<QWidget*, const char*> names[] = {
        {mSQL, "mSQL"},       {Panel1, "Panel1"},
        {Button1, "Button1"}, {ComboBox1, "ComboBox1"},
        {Label1, "Label1"},   {CheckBox1, "CheckBox1"},
        {Image1, "Image1"},   {cxSplitter1, "cxSplitter1"},
        {DBGrid1, "DBGrid1"}, {StatusBar1, "StatusBar1"}};
    for (const auto& [widget, name] : names)
        widget->setObjectName(QString::fromLatin1(name));

    auto* stack = new QVBoxLayout(client);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    for (Align pass : {Align::Top, Align::Client, Align::Bottom}) {
        for (const ControlLayout& c : kControls) {
            if (c.align != pass)
                continue;
            QWidget* w = client->findChild<QWidget*>(QString::fromLatin1(c.name));
            if (pass == Align::Client) {
                // Takes whatever height is left, down to none, so it never forces scrolling.
                w->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
                stack->addWidget(w, 1);
            } else {
                w->setFixedHeight(c.height);
                stack->addWidget(w, 0);
            }
        }
    }
    for (const ControlLayout& c : kControls) {
        QWidget* w = client->findChild<QWidget*>(QString::fromLatin1(c.name));
        if (c.align == Align::None)
            w->setGeometry(c.left, c.top, c.width, c.height);
        w->setAccessibleName(QString::fromLatin1(c.accessibleName));
        w->setAccessibleDescription(QString::fromLatin1(c.name));
    }

    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);

    Label1->setBuddy(ComboBox1);
    Label1->adjustSize(); // sizes itself to its text

    ComboBox1->setEditable(true);
    ComboBox1->setMaxVisibleItems(kComboBoxVisibleItems);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
    ComboBox1->completer()->setCompletionMode(QCompleter::InlineCompletion);

    Image1->setPixmap(QPixmap(QString::fromLatin1(kIndicatorPicture)));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setScaledContents(false);
    Image1->setVisible(false);

    Button1->setDefault(false);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this,
            [this] { vcl::Handled([this] { Button1Click(); }); });

    CheckBox1->setTristate(false);
    CheckBox1->setChecked(false);

    mSQL->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    mSQL->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mSQL->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mSQL->setTabChangesFocus(true);
    mSQL->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    cxSplitter1->SetResizeControl(mSQL);
    cxSplitter1->setFocusPolicy(Qt::NoFocus);

    DBGrid1->SetDataSource(&dm->DataSource1);

    // The status bar keeps the system's font, not the window's.
    QFont systemFont = QApplication::font(StatusBar1);
    systemFont.setResolveMask(QFont::AllPropertiesResolved);
    StatusBar1->setFont(systemFont);

    for (std::size_t i = 0; i + 1 < std::size(kTabOrder); ++i)
        setTabOrder(client->findChild<QWidget*>(QString::fromLatin1(kTabOrder[i])),
                    client->findChild<QWidget*>(QString::fromLatin1(kTabOrder[i + 1])));
    mSQL->setFocus();

    move(kLeft, kTop);
    resize(kClientWidth, kClientHeight);

    OnCreate = [this] { FormCreate(); };
}

void TL_Tavolix::FormCreate() {
    const auto local = [](const std::string& bytes) {
        return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
    };
    // Next to the executable, never the working directory.
    const std::filesystem::path exe(vcl::Application->ExeName());
    const std::vector<std::string> databases =
        vcl::LoadLinesFromFile((exe.parent_path() / "database.txt").string());

    QStringList items;
    items.reserve(static_cast<qsizetype>(databases.size()));
    for (const std::string& entry : databases)
        items.append(local(entry));
    ComboBox1->clear();
    ComboBox1->addItems(items);
    // The entry's own bytes go to the connection, not what the widget made of them.
    const std::string first = databases.empty() ? std::string() : databases.front();
    ComboBox1->setEditText(local(first));

    try {
        dm->IBDatabase.SetDatabaseName("");
        dm->IBDatabase.SetDatabaseName(first);
        dm->IBDatabase.SetConnected(true);
        dm->IBTransaction.SetActive(true);
        Image1->setVisible(true);
    } catch (const std::exception&) {
        // The source text is UTF-8; the box takes the local code page.
        vcl::Application->MessageBox(
            QString::fromUtf8("Database bağlantısını kontrol ediniz!").toLocal8Bit().toStdString(),
            "", vcl::MB_OK);
    }

    StatusBar1->Panel(0)->setText(local(vcl::DateTimeToStr(vcl::Now())));
}

void TL_Tavolix::Button1Click() {
    dm->qry.Close();
    dm->qry.SetSQLText("");
    dm->qry.SetSQLText(mSQL->Text());
    if (CheckBox1->isChecked()) {
        dm->qry.ExecSQL();
        dm->IBTransaction.CommitRetaining();
    } else {
        dm->qry.Open();
    }
}
