#include "app/logaccessible.h"

#include "app/logview.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QScrollBar>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <climits>

namespace {

int clampedOffset(qint64 offset)
{
    return static_cast<int>(std::clamp<qint64>(offset, 0, INT_MAX));
}

class LogTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit LogTextAccessible(LogView *view)
        : QAccessibleWidget(view, QAccessible::EditableText)
    { }

    LogView *view() const { return static_cast<LogView *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    // The text
    int characterCount() const override { return clampedOffset(offsets().textLength(log())); }

    QString text(int startOffset, int endOffset) const override
    {
        const int end = std::min(endOffset < 0 ? INT_MAX : endOffset, characterCount());
        if (startOffset < 0 || startOffset >= end)
            return {};
        QString text;
        qsizetype line = offsets().lineAt(log(), startOffset);
        qint64 lineStart = offsets().lineStart(log(), line);
        for (; line < log().lineCount() && lineStart < end; ++line) {
            const QString content = log().line(line)
                + (line + 1 < log().lineCount() ? QStringLiteral("\n") : QString());
            const qint64 from = std::max<qint64>(startOffset - lineStart, 0);
            const qint64 to = std::min<qint64>(end - lineStart, content.size());
            text += content.mid(from, to - from);
            lineStart += content.size();
        }
        return text;
    }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                         int *endOffset) const override
    {
        *startOffset = *endOffset = -1;
        const int count = characterCount();
        if (boundary == QAccessible::NoBoundary) {
            *startOffset = 0;
            *endOffset = count;
            return text(0, count);
        }
        if (offset < 0 || offset > count || count == 0)
            return {};
        // The end of the text belongs to the last character, as a caret there reads it.
        offset = std::min(offset, count - 1);
        const qsizetype line = offsets().lineAt(log(), offset);
        const qint64 lineStart = offsets().lineStart(log(), line);
        const QString content = log().line(line);
        const bool lastLine = line + 1 == log().lineCount();
        const int inLine = static_cast<int>(offset - lineStart);
        switch (boundary) {
        case QAccessible::CharBoundary:
            *startOffset = offset;
            *endOffset = offset + 1;
            return inLine < content.size() ? content.mid(inLine, 1) : QStringLiteral("\n");
        case QAccessible::LineBoundary:
        case QAccessible::ParagraphBoundary:
            // A line with the line break that ends it.
            *startOffset = clampedOffset(lineStart);
            *endOffset = clampedOffset(lineStart + content.size() + (lastLine ? 0 : 1));
            return lastLine ? content : content + QLatin1Char('\n');
        default: {
            // Words and sentences never run across the log's lines: found within the line.
            const auto kind = boundary == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                    : QTextBoundaryFinder::Sentence;
            QTextBoundaryFinder finder(kind, content);
            finder.setPosition(std::min<int>(inLine, static_cast<int>(content.size())));
            qsizetype from =
                finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
            finder.setPosition(std::min<int>(inLine, static_cast<int>(content.size())));
            qsizetype to = finder.toNextBoundary();
            if (from < 0)
                from = 0;
            if (to < 0)
                to = content.size();
            *startOffset = clampedOffset(lineStart + from);
            *endOffset = clampedOffset(lineStart + to);
            return content.mid(from, to - from);
        }
        }
    }

    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                             int *endOffset) const override
    {
        int start = 0, end = 0;
        textAtOffset(offset, boundary, &start, &end);
        if (start <= 0) {
            *startOffset = *endOffset = -1;
            return {};
        }
        return textAtOffset(start - 1, boundary, startOffset, endOffset);
    }

    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                            int *endOffset) const override
    {
        int start = 0, end = 0;
        textAtOffset(offset, boundary, &start, &end);
        if (end < 0 || end >= characterCount()) {
            *startOffset = *endOffset = -1;
            return {};
        }
        return textAtOffset(end, boundary, startOffset, endOffset);
    }

    // The selection: whole lines
    int selectionCount() const override { return view()->selectedLines().first < 0 ? 0 : 1; }
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        const auto [first, last] = view()->selectedLines();
        if (selectionIndex != 0 || first < 0)
            return;
        *startOffset = clampedOffset(offsets().lineStart(log(), first));
        *endOffset = clampedOffset(offsets().lineStart(log(), last) + log().lineLength(last));
    }
    void addSelection(int startOffset, int endOffset) override
    {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            view()->clearSelection();
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex != 0 || log().lineCount() == 0)
            return;
        const qsizetype first = offsets().lineAt(log(), std::min(startOffset, endOffset));
        const qsizetype last =
            offsets().lineAt(log(), std::max(std::max(startOffset, endOffset) - 1, 0));
        view()->selectLines(first, std::max(first, last));
    }

    int cursorPosition() const override
    {
        if (log().lineCount() == 0)
            return 0;
        return clampedOffset(offsets().lineStart(log(), view()->cursorLine()));
    }
    void setCursorPosition(int position) override
    {
        if (log().lineCount() == 0)
            return;
        const qsizetype line = offsets().lineAt(log(), position);
        view()->selectLines(line, line);
    }

    // Places on screen: a character is placed at its line, the finest the view lays out for.
    QRect characterRect(int offset) const override
    {
        const qsizetype line = offsets().lineAt(log(), offset);
        const QRect local = line < 0 ? QRect() : view()->lineRect(line);
        if (local.isNull())
            return {};
        return QRect(view()->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(local))
            return -1;
        const qsizetype line = view()->lineAt(local.y());
        return line < 0 ? -1 : clampedOffset(offsets().lineStart(log(), line));
    }
    void scrollToSubstring(int startIndex, int) override
    {
        const qsizetype line = offsets().lineAt(log(), startIndex);
        if (line >= 0)
            view()->ensureVisible(line);
    }
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    const LogStore &log() const { return view()->store(); }
    // The line starts, started afresh when the log was cleared since they were worked out.
    LogOffsets &offsets() const
    {
        if (clearsSeen != view()->clearCount()) {
            lineStarts.reset();
            clearsSeen = view()->clearCount();
        }
        return lineStarts;
    }

    mutable LogOffsets lineStarts;
    mutable quint64 clearsSeen = 0;
};

QAccessibleInterface *logAccessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("LogView") && object && object->isWidgetType())
        return new LogTextAccessible(static_cast<LogView *>(object));
    return nullptr;
}

} // namespace

void installLogAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(logAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
