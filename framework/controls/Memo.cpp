#include "Memo.h"

#include <QTextBlock>
#include <QTextDocument>

namespace vcl {

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(WidgetWidth);
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { CheckLineLengths(position, added); });
}

std::string TMemo::Text() const {
    // The raw text keeps non-breaking spaces; only the block and line separators become CR LF.
    QString text = document()->toRawText();
    for (const QChar separator : {QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator),
                                  QChar(0xFDD0), QChar(0xFDD1)})
        text.replace(separator, QStringLiteral("\r\n"));
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void TMemo::CheckLineLengths(int position, int added) {
    const QTextDocument* doc = document();
    if (doc->characterCount() <= kMaxWrappedLine) {
        setLineWrapMode(WidgetWidth);
        return;
    }
    if (lineWrapMode() == NoWrap)
        return;
    // Only the blocks the change touched can have grown.
    for (QTextBlock block = doc->findBlock(position);
         block.isValid() && block.position() <= position + added; block = block.next()) {
        if (block.length() > kMaxWrappedLine) {
            setLineWrapMode(NoWrap);
            return;
        }
    }
}

} // namespace vcl
