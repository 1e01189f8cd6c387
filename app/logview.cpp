#include "app/logview.h"

#include "app/logaccessible.h"

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {
// Space between the frame and the text, as a plain text box leaves it.
constexpr int margin = 4;
} // namespace

LogView::LogView(QWidget *parent)
    : QAbstractScrollArea(parent)
    , copyAction(new QAction(QStringLiteral("Copy"), this))
    , selectAllAction(new QAction(QStringLiteral("Select All"), this))
{
    installLogAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setRange(0, 0);

    // The keys are handled by the view itself; the menu only shows them.
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setShortcutContext(Qt::WidgetShortcut);
    connect(copyAction, &QAction::triggered, this, &LogView::copy);
    connect(selectAllAction, &QAction::triggered, this, &LogView::selectAll);
}

LogView::~LogView() = default;

QString LogView::toPlainText() const
{
    QString text;
    for (qsizetype i = 0; i < log.lineCount(); ++i) {
        if (i > 0)
            text += QLatin1Char('\n');
        text += log.line(i);
    }
    return text;
}

void LogView::appendLine(const QString &text)
{
    const qint64 position = textEnd();
    const qsizetype first = log.lineCount();
    log.appendLine(text);
    linesAppended();
    announceLines(first, position);
}

void LogView::appendPlainText(const QString &text)
{
    const qint64 position = textEnd();
    const qsizetype first = log.lineCount();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines)
        log.appendLine(line);
    linesAppended();
    announceLines(first, position);
}

void LogView::appendEchoLines(std::shared_ptr<const RecordBatch> batch)
{
    const qint64 position = textEnd();
    const qsizetype first = log.lineCount();
    log.appendEchoLines(std::move(batch));
    linesAppended();
    announceLines(first, position);
}

qint64 LogView::textEnd() const
{
    if (!QAccessible::isActive())
        return -1;
    QAccessibleInterface *self = QAccessible::queryAccessibleInterface(const_cast<LogView *>(this));
    QAccessibleTextInterface *text = self ? self->textInterface() : nullptr;
    return text ? text->characterCount() : -1;
}

void LogView::announceLines(qsizetype first, qint64 position)
{
    if (position < 0 || first >= log.lineCount() || !QAccessible::isActive())
        return;
    // The text added: a line break after the last line there was, then the new lines.
    QString added;
    for (qsizetype i = first; i < log.lineCount(); ++i) {
        if (i > 0)
            added += QLatin1Char('\n');
        added += log.line(i);
    }
    QAccessibleTextInsertEvent event(this, static_cast<int>(std::min<qint64>(position, INT_MAX)),
                                     added);
    QAccessible::updateAccessibility(&event);
}

void LogView::clear()
{
    const bool hadLines = log.lineCount() > 0;
    log.clear();
    ++clears;
    if (hadLines && QAccessible::isActive()) {
        // The removed text is not made again just to say what it was.
        QAccessibleTextUpdateEvent event(this, 0, QString(), QString());
        QAccessible::updateAccessibility(&event);
    }
    selecting = false;
    anchor = cursor = 0;
    followEnd = false;
    setScrollRange(1);
    viewport()->update();
}

void LogView::setPlainText(const QString &text)
{
    clear();
    if (!text.isEmpty())
        appendPlainText(text);
}

QString LogView::selectedText() const
{
    if (!selecting)
        return {};
    const qsizetype first = std::min(anchor, cursor);
    QString text;
    for (qsizetype i = first; i <= std::max(anchor, cursor); ++i) {
        if (i > first)
            text += QLatin1Char('\n');
        text += log.line(i);
    }
    return text;
}

void LogView::selectAll()
{
    if (log.lineCount() == 0)
        return;
    selecting = true;
    anchor = 0;
    cursor = log.lineCount() - 1;
    viewport()->update();
}

std::pair<qsizetype, qsizetype> LogView::selectedLines() const
{
    if (!selecting)
        return {-1, -1};
    return {std::min(anchor, cursor), std::max(anchor, cursor)};
}

void LogView::selectLines(qsizetype first, qsizetype last)
{
    if (log.lineCount() == 0)
        return;
    moveCursor(first, false);
    moveCursor(last, true);
}

void LogView::clearSelection()
{
    selecting = false;
    viewport()->update();
}

QRect LogView::lineRect(qsizetype index) const
{
    for (const Placed &p : visibleLines()) {
        if (p.index == index)
            return QRect(0, p.top, viewport()->width(), p.height);
    }
    return {};
}

void LogView::copy() const
{
    if (selecting)
        QGuiApplication::clipboard()->setText(selectedText());
}

qsizetype LogView::firstVisibleLine() const
{
    return verticalScrollBar()->value();
}

QMenu *LogView::createStandardContextMenu()
{
    auto *menu = new QMenu(this);
    copyAction->setEnabled(selecting);
    selectAllAction->setEnabled(log.lineCount() > 0);
    menu->addAction(copyAction);
    menu->addAction(selectAllAction);
    return menu;
}

int LogView::textWidth() const
{
    return std::max(1, viewport()->width() - 2 * margin);
}

// Lays the line out at the view's width and returns its height in pixels. Line breaks inside a
// line (a field holding several lines) are shown as breaks; the stored line keeps them.
int LogView::layOut(QTextLayout &layout, qsizetype index) const
{
    QString text = log.line(index);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setText(text);
    layout.setFont(font());
    layout.setTextOption(option);

    const int width = textWidth();
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return std::max(1, static_cast<int>(std::ceil(height)));
}

int LogView::lineHeight(qsizetype index) const
{
    QTextLayout layout;
    return layOut(layout, index);
}

std::vector<LogView::Placed> LogView::visibleLines() const
{
    std::vector<Placed> placed;
    const int height = viewport()->height();
    int top = 0;
    for (qsizetype i = firstVisibleLine(); i < log.lineCount() && top < height; ++i) {
        const int h = lineHeight(i);
        placed.push_back({i, top, h});
        top += h;
    }
    return placed;
}

// The line under a viewport position; above or below the lines shown, the first or last one.
qsizetype LogView::lineAt(int y) const
{
    const std::vector<Placed> placed = visibleLines();
    if (placed.empty())
        return -1;
    for (const Placed &p : placed) {
        if (y < p.top + p.height)
            return p.index;
    }
    return placed.back().index;
}

int LogView::estimatedLinesPerPage() const
{
    return std::max(1, viewport()->height() / std::max(1, fontMetrics().lineSpacing()));
}

// How many lines at the end of the log fit the view together (at least one): scrolled to its
// maximum, the view shows exactly these.
qsizetype LogView::linesFittingAtEnd() const
{
    const int height = viewport()->height();
    int used = 0;
    qsizetype fitting = 0;
    for (qsizetype i = log.lineCount() - 1; i >= 0; --i) {
        used += lineHeight(i);
        if (used > height)
            break;
        ++fitting;
    }
    return std::max<qsizetype>(1, fitting);
}

void LogView::setScrollRange(qsizetype linesOnLastPage)
{
    QScrollBar *bar = verticalScrollBar();
    const bool follow = followEnd || bar->value() == bar->maximum();
    const qsizetype maximum =
        std::clamp<qsizetype>(log.lineCount() - linesOnLastPage, 0, qsizetype(INT_MAX));
    bar->setRange(0, static_cast<int>(maximum));
    bar->setPageStep(estimatedLinesPerPage());
    if (follow)
        bar->setValue(bar->maximum());
}

// The range is first set from the plain line height, which needs no layout; the few lines at
// the end are laid out once the appending is over, to fit the range to their wrapped heights.
void LogView::linesAppended()
{
    QScrollBar *bar = verticalScrollBar();
    followEnd = followEnd || bar->value() == bar->maximum();
    // Lines added at the end never lower the fitted maximum; keeping it keeps the view where it
    // is when it does not follow.
    const qsizetype estimate =
        std::max<qsizetype>(bar->maximum(), log.lineCount() - estimatedLinesPerPage());
    setScrollRange(log.lineCount() - estimate);
    if (!fitPending) {
        fitPending = true;
        QMetaObject::invokeMethod(this, &LogView::fitScrollRange, Qt::QueuedConnection);
    }
    viewport()->update();
}

void LogView::fitScrollRange()
{
    fitPending = false;
    setScrollRange(linesFittingAtEnd());
    followEnd = false;
}

bool LogView::isSelected(qsizetype index) const
{
    return selecting && index >= std::min(anchor, cursor) && index <= std::max(anchor, cursor);
}

void LogView::moveCursor(qsizetype to, bool extend)
{
    if (log.lineCount() == 0)
        return;
    to = std::clamp<qsizetype>(to, 0, log.lineCount() - 1);
    if (!extend)
        anchor = to;
    else if (!selecting)
        anchor = firstVisibleLine();
    selecting = true;
    cursor = to;
    ensureVisible(cursor);
    viewport()->update();
}

void LogView::ensureVisible(qsizetype index)
{
    QScrollBar *bar = verticalScrollBar();
    if (index < bar->value()) {
        bar->setValue(static_cast<int>(index));
        return;
    }
    const int height = viewport()->height();
    for (const Placed &p : visibleLines()) {
        if (p.index == index && p.top + p.height <= height)
            return;
    }
    // Scroll so that the line is the last one shown in full.
    if (fitPending)
        fitScrollRange();
    qsizetype top = index;
    int used = lineHeight(index);
    while (top > 0) {
        const int h = lineHeight(top - 1);
        if (used + h > height)
            break;
        used += h;
        --top;
    }
    bar->setValue(static_cast<int>(std::min<qsizetype>(top, INT_MAX)));
}

bool LogView::event(QEvent *event)
{
    // Copy and Select All belong to the view while it has the focus, even where the window
    // binds the same keys.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void LogView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const QPalette &colours = palette();
    const int height = viewport()->height();
    int top = 0;
    for (qsizetype i = firstVisibleLine(); i < log.lineCount() && top < height; ++i) {
        QTextLayout layout;
        const int h = layOut(layout, i);
        const bool selected = isSelected(i);
        if (selected)
            painter.fillRect(0, top, viewport()->width(), h, colours.brush(QPalette::Highlight));
        painter.setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
        layout.draw(&painter, QPointF(margin, top));
        top += h;
    }
}

void LogView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    setScrollRange(linesFittingAtEnd());
}

void LogView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        setScrollRange(linesFittingAtEnd());
}

void LogView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void LogView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }

    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const qsizetype page =
        std::max<qsizetype>(1, static_cast<qsizetype>(visibleLines().size()) - 1);
    const qsizetype last = log.lineCount() - 1;
    // Before anything is selected, moves start from the top line shown, and the first arrow key
    // selects that line.
    const qsizetype from = selecting ? cursor : firstVisibleLine();
    const qsizetype step = selecting ? 1 : 0;
    switch (event->key()) {
    case Qt::Key_Up:
        moveCursor(from - step, extend);
        break;
    case Qt::Key_Down:
        moveCursor(from + step, extend);
        break;
    case Qt::Key_PageUp:
        moveCursor(from - page, extend);
        break;
    case Qt::Key_PageDown:
        moveCursor(from + page, extend);
        break;
    case Qt::Key_Home:
        moveCursor(0, extend);
        break;
    case Qt::Key_End:
        moveCursor(last, extend);
        break;
    default:
        // Typed text and other keys go to the window, as the log cannot be edited.
        event->ignore();
    }
}

void LogView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qsizetype index = lineAt(event->position().toPoint().y());
    if (index >= 0)
        moveCursor(index, event->modifiers() & Qt::ShiftModifier);
}

void LogView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !selecting)
        return;
    // Dragging past the top or bottom edge scrolls a line at a time.
    const int y = event->position().toPoint().y();
    QScrollBar *bar = verticalScrollBar();
    if (y < 0)
        bar->setValue(bar->value() - 1);
    else if (y >= viewport()->height())
        bar->setValue(bar->value() + 1);
    const qsizetype index = lineAt(std::clamp(y, 0, std::max(0, viewport()->height() - 1)));
    if (index >= 0)
        moveCursor(index, true);
}

void LogView::mouseReleaseEvent(QMouseEvent *event)
{
    event->setAccepted(event->button() == Qt::LeftButton);
}

void LogView::contextMenuEvent(QContextMenuEvent *event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu());
    menu->exec(event->globalPos());
}
