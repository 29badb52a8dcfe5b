#include "Application.h"

#include "Form.h"
#include "SessionEnd.h"
#include "core/Exceptions.h"
#include "db/ClientLibrary.h"
#include "db/IBTransaction.h"

#if __has_include("controls/ResultModel.h")
#include "controls/ResultModel.h"
#define VCL_HAVE_FETCH_ERROR_SINK 1
#endif
#if __has_include("RegionalSettings.h")
#include "RegionalSettings.h"
#define VCL_HAVE_REGIONAL_SETTINGS 1
#endif

#include <QAbstractButton>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>

#include <cstdint>
#include <cstdio>
#include <typeinfo>

#if defined(__GNUC__)
#include <cstdlib>
#include <cxxabi.h>
#endif

namespace vcl {

TApplication* Application = nullptr;

namespace {

// Qt's last line of defence: nothing thrown by our code may unwind through its dispatch.
class TQtApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            if (Application)
                Application->HandleCurrentException();
            return false;
        }
    }
};

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

std::string FileNameOf(const std::string& path) {
#ifdef _WIN32
    const auto cut = path.find_last_of("\\/");
#else
    const auto cut = path.find_last_of('/');
#endif
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

const char* const kTahomaFonts[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                    "/usr/share/wine/fonts/tahomabd.ttf"};

} // namespace

std::string TitleFromExeName(const std::string& exePath) {
    std::string name = FileNameOf(exePath);
    if (const auto dot = name.find('.'); dot != std::string::npos)
        name.resize(dot);
    const QString text = FromLocal(name);
    // The first character stays as it is, even when it takes two UTF-16 units.
    const qsizetype first = !text.isEmpty() && text.front().isHighSurrogate() ? 2 : 1;
    if (text.size() <= first)
        return name;
    return ToLocal(text.left(first) + text.mid(first).toLower());
}

std::string ExceptionMessage(const std::exception& e) {
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return own->Message();
    return e.what();
}

std::string ExceptionClassName(const std::exception& e) {
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return own->ClassName();
    const char* raw = typeid(e).name();
#if defined(__GNUC__)
    int status = 0;
    if (char* demangled = abi::__cxa_demangle(raw, nullptr, nullptr, &status)) {
        std::string name = demangled;
        std::free(demangled);
        return name;
    }
#endif
    return raw;
}

std::string LastResortText(const std::exception& e, const std::string& moduleName) {
    // C++ keeps no faulting code address; the exception object's own address is what we have.
    char address[2 * sizeof(void*) + 1];
    std::snprintf(address, sizeof address, "%0*llX", static_cast<int>(2 * sizeof(void*)),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&e)));
    std::string text = "Exception " + ExceptionClassName(e) + " in module " + moduleName + " at " +
                       address + "." + sLineBreak;
    const std::string message = ExceptionMessage(e);
    text += message;
    if (!message.empty() && message.back() != '.')
        text += '.';
    return text + sLineBreak;
}

// ---------------------------------------------------------------------------------------------

TApplication::TApplication(int& argc, char** argv) {
    if (QCoreApplication::instance())
        throw Exception("The application object exists already");
    qt_ = std::make_unique<TQtApplication>(argc, argv);
    // The main window's close ends the loop through Terminate, nothing else does.
    qt_->setQuitOnLastWindowClosed(false);
    SetExeName(ToLocal(QCoreApplication::applicationFilePath()));
    if (QFile::exists(QStringLiteral(":/MAINICON.png")))
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/MAINICON.png")));
    if (!Application)
        Application = this;
}

TApplication::~TApplication() {
    try {
        DestroyComponents();
    } catch (...) {
        // Clean-up of a program that did not run to its end; ProgramMain reports its own.
    }
    ibx::SetEndOfLifeReport(nullptr);
#ifdef VCL_HAVE_FETCH_ERROR_SINK
    SetFetchErrorSink(nullptr);
#endif
    sessionEnd_.reset();
    qt_.reset();
    if (Application == this)
        Application = nullptr;
}

void TApplication::Initialize() {
    for (const char* font : kTahomaFonts)
        if (QFile::exists(QString::fromLatin1(font)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(font));
    // A refused final commit means lost work: the user hears of it before the program ends.
    ibx::SetEndOfLifeReport([](const std::string& message) {
        if (Application)
            Application->HandleException(Exception(message));
    });
#ifdef VCL_HAVE_FETCH_ERROR_SINK
    // Fetch failures arise under painting and scrolling; the grid hands them on to here.
    SetFetchErrorSink([](const std::exception& e) {
        if (Application)
            Application->HandleException(e);
    });
#endif
#ifdef VCL_HAVE_REGIONAL_SETTINGS
    ReadRegionalSettings();
#endif
    // Logging off or shutting down ends the program as closing its window does. Set up before
    // the data module loads the client library, so even the start-up connection is covered.
    if (!sessionEnd_)
        sessionEnd_ = std::make_unique<TSessionEnd>([this] { Terminate(); });
    ibx::SetClientLoadHook(&TSessionEnd::RefuseClientShutdown);
}

void TApplication::Adopt(TComponent* component, TForm* form) {
    components_.push_back(component); // capacity reserved by CreateForm
    if (!form)
        return;
    RunCreateHandler(form);
    if (!mainForm_)
        mainForm_ = form;
}

void TApplication::RunCreateHandler(TForm* form) noexcept {
    try {
        form->DoCreate();
    } catch (...) {
        HandleCurrentException();
    }
}

void TApplication::Run() {
    if (!mainForm_ || terminated_)
        return;
    mainForm_->show();
    while (!terminated_)
        qt_->exec();
}

void TApplication::Terminate() {
    terminated_ = true;
    QCoreApplication::exit(0);
}

void TApplication::DestroyComponents() {
    std::exception_ptr first;
    while (!components_.empty()) {
        TComponent* component = components_.back();
        components_.pop_back();
        if (component == mainForm_)
            mainForm_ = nullptr;
        try {
            component->BeforeDestruction();
        } catch (...) {
            // Left unfreed, as BeforeDestruction's contract says; the rest still go.
            if (!first)
                first = std::current_exception();
            continue;
        }
        delete component;
    }
    if (first)
        std::rethrow_exception(first);
}

void TApplication::SetExeName(std::string path) {
    exeName_ = std::move(path);
    title_ = TitleFromExeName(exeName_);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    QPointer<QWidget> previousWindow = QApplication::activeWindow();
    QPointer<QWidget> previousFocus = QApplication::focusWidget();

    QMessageBox box;
    box.setWindowTitle(FromLocal(caption));
    box.setTextFormat(Qt::PlainText); // server texts are never markup
    box.setText(FromLocal(text));
    box.setWindowModality(Qt::ApplicationModal);
    switch (flags & 0xF0u) {
    case MB_ICONSTOP:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    switch (flags & 0x0Fu) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    }
    box.exec();

    if (previousWindow)
        previousWindow->activateWindow();
    if (previousFocus)
        previousFocus->setFocus();

    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Ok:
        return IDOK;
    default:
        return (flags & 0x0Fu) == MB_OK ? IDOK : IDCANCEL;
    }
}

void TApplication::HandleException(const std::exception& e) noexcept {
    try {
        // A drag in progress would keep the mouse from the box.
        if (QWidget* grabber = QWidget::mouseGrabber())
            grabber->releaseMouse();
        if (dynamic_cast<const EAbort*>(&e))
            return;
        ShowException(e);
    } catch (...) {
        // Not even a box could be shown; the console is all that is left.
        std::fprintf(stderr, "%s\n", WithDisplayFullStop(ExceptionMessage(e)).c_str());
    }
}

void TApplication::ShowException(const std::exception& e) {
    MessageBox(WithDisplayFullStop(ExceptionMessage(e)), title_, MB_OK | MB_ICONSTOP);
}

void TApplication::HandleCurrentException() noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        HandleException(Exception("Unknown exception"));
    }
}

// ---------------------------------------------------------------------------------------------

namespace {

void ShowLastResort(const std::exception& e) noexcept {
    try {
        const std::string exe = Application ? Application->ExeName() : std::string();
        const std::string text = LastResortText(e, FileNameOf(exe));
        if (!QCoreApplication::instance()) {
            std::fputs(text.c_str(), stderr);
            return;
        }
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Application Error"), FromLocal(text),
                        QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    } catch (...) {
        std::fputs(ExceptionMessage(e).c_str(), stderr);
    }
}

void ShowLastResortForCurrent() noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowLastResort(e);
    } catch (...) {
        ShowLastResort(Exception("Unknown exception"));
    }
}

} // namespace

int ProgramMain(int argc, char** argv, const std::function<void()>& body) {
    std::unique_ptr<TApplication> app;
    try {
        app = std::make_unique<TApplication>(argc, argv);
    } catch (...) {
        ShowLastResortForCurrent();
        return 1;
    }
    Application = app.get();
    int exitCode = 0;
    try {
        body();
    } catch (...) {
        ShowLastResortForCurrent();
        exitCode = 1;
    }
    try {
        app->DestroyComponents();
    } catch (...) {
        if (exitCode == 0)
            ShowLastResortForCurrent();
        exitCode = 1;
    }
    app.reset(); // clears Application
    return exitCode;
}

} // namespace vcl
