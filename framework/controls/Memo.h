#pragma once
// The statement editor: a plain multi-line editor whose text goes to the server as 8-bit bytes.

#include <QPlainTextEdit>

#include <string>

namespace vcl {

class TMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent = nullptr);

    /// The whole text in the local 8-bit code page, its lines separated by CR LF; nothing else
    /// changed (non-breaking spaces and trailing blanks stay).
    std::string Text() const;

    /// Lines longer than this are not wrapped: wrapping one huge line costs time that grows with
    /// the square of its length, and would freeze the window.
    static constexpr int kMaxWrappedLine = 16 * 1024;

private:
    void CheckLineLengths(int position, int added);
};

} // namespace vcl
