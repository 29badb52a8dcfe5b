#pragma once
// The form base: a top-level window owned by the application object, with a client area that
// scrolls vertically when the window is lower than its fixed-height parts.

#include "core/Component.h"

#include <QWidget>

#include <functional>

class QScrollArea;

namespace vcl {

class TForm : public QWidget, public TComponent {
    Q_OBJECT
public:
    /// A form owned by `owner` (the application object frees it).
    explicit TForm(TComponent* owner);
    ~TForm() override;

    /// The owner given at construction.
    TComponent* Owner() const noexcept { return owner_; }

    /// The create event: run once by the application object at the end of construction.
    std::function<void()> OnCreate;
    /// Runs OnCreate when set; its failure goes on to the caller.
    virtual void DoCreate();

    /// The widget the controls sit on; its layout's minimum height sets the scroll range.
    QWidget* ClientArea() const noexcept { return client_; }
    /// The scrolling frame around the client area.
    QScrollArea* ScrollBox() const noexcept { return scroll_; }

protected:
    /// Closing the main window ends the event loop.
    void closeEvent(QCloseEvent* event) override;

private:
    TComponent* owner_;
    QScrollArea* scroll_;
    QWidget* client_;
};

} // namespace vcl
