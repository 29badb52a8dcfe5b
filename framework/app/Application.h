#pragma once
// The application object over Qt: it owns the data module and the forms, picks the main window,
// runs the event loop and is the one place where an uncaught failure is shown to the user.

#include "core/Component.h"

#include <QApplication>

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

namespace vcl {

class TForm;
class TSessionEnd;

/// Message box flags and results, with the values the program's calls use.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_YESNOCANCEL = 0x03;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_ICONSTOP = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

/// The application title for an executable path: the file name after the last path separator,
/// cut at its first '.', lower-cased from the second character on.
std::string TitleFromExeName(const std::string& exePath);

class TApplication : public TComponent {
public:
    /// Creates the QApplication the program runs on; there is one per process.
    TApplication(int& argc, char** argv);
    /// Frees what is still owned (without raising), then the QApplication.
    ~TApplication() override;

    /// Registers the fonts, the end-of-life report and the regional settings, and lets the end
    /// of the desktop session (its request, or a termination signal) end the loop as Terminate.
    void Initialize();

    /// Allocates a T, stores it into `ref` before its construction runs, constructs it with the
    /// application as owner and takes ownership; on failure `ref` is null again and the failure
    /// goes on. A form's creation handler runs at the end, its failure shown at once; the first
    /// form becomes the main window.
    template <class T> void CreateForm(T*& ref);

    /// Shows the main window and runs the event loop until Terminate().
    void Run();
    /// Ends the event loop.
    void Terminate();
    /// Whether Terminate() has been asked for.
    bool Terminated() const noexcept { return terminated_; }

    /// The first form created; null before.
    TForm* MainForm() const noexcept { return mainForm_; }
    /// The owned components in creation order.
    const std::vector<TComponent*>& Components() const noexcept { return components_; }
    /// Frees the owned components, the last created first. A component whose
    /// BeforeDestruction() raises is left unfreed; the others are still freed, and the first
    /// failure is raised at the end.
    void DestroyComponents();

    /// The full path of the running executable.
    const std::string& ExeName() const noexcept { return exeName_; }
    /// Stands in another executable path (tests); the title follows it.
    void SetExeName(std::string path);
    /// The application title, derived from the executable's file name.
    const std::string& Title() const noexcept { return title_; }

    /// A modal message box; texts are 8-bit in the local code page. Returns the IDxxx chosen.
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

    /// The default error display: aborts are dropped, anything else shown by ShowException.
    /// Raises nothing.
    void HandleException(const std::exception& e) noexcept;
    /// The failure's text with the display's full-stop rule, captioned with the title, stop icon.
    void ShowException(const std::exception& e);
    /// HandleException for the exception being handled in the current catch block.
    void HandleCurrentException() noexcept;

private:
    void Adopt(TComponent* component, TForm* form);
    void RunCreateHandler(TForm* form) noexcept;

    std::unique_ptr<QApplication> qt_;
    std::unique_ptr<TSessionEnd> sessionEnd_;
    std::vector<TComponent*> components_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    std::string exeName_;
    std::string title_;
};

/// The single application object; set by ProgramMain (or a test) while it lives.
extern TApplication* Application;

/// The message of any exception: Message() for ours, what() for the rest.
std::string ExceptionMessage(const std::exception& e);
/// The class name of any exception: ClassName() for ours, the C++ type's name for the rest.
std::string ExceptionClassName(const std::exception& e);

/// Runs code that Qt called (a click, a key) so that no exception unwinds into Qt's dispatch:
/// a failure goes to the default error display and the handler is abandoned.
template <class F> void Handled(F&& code) noexcept {
    try {
        std::forward<F>(code)();
    } catch (...) {
        if (Application)
            Application->HandleCurrentException();
    }
}

/// The text of the last-resort report for a failure that nothing else handled.
std::string LastResortText(const std::exception& e, const std::string& moduleName);

/// Creates the application object, runs `body` and cleans up. A failure that escapes (outside
/// the event loop's handlers) is shown in the last-resort box and gives exit code 1; else 0.
int ProgramMain(int argc, char** argv, const std::function<void()>& body);

// ---------------------------------------------------------------------------------------------

template <class T> void TApplication::CreateForm(T*& ref) {
    static_assert(std::is_base_of_v<TComponent, T>, "the application owns components only");
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "over-aligned component");
    components_.reserve(components_.size() + 1);
    // The reference already names the object while its own construction runs.
    void* storage = ::operator new(sizeof(T));
    ref = static_cast<T*>(storage);
    T* object = nullptr;
    try {
        object = ::new (storage) T(this);
    } catch (...) {
        ref = nullptr;
        ::operator delete(storage);
        throw;
    }
    if constexpr (std::is_base_of_v<TForm, T>)
        Adopt(object, object);
    else
        Adopt(object, nullptr);
}

} // namespace vcl
