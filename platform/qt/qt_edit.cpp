// Edit boxes on QLineEdit. The program's writes (text, selection) go
// straight into the widget and report nothing: the box reports only what
// Qt calls an edit (textEdited: typing, deleting, pasting, cutting,
// undoing), and every insertion is the program's to cut.

#include "platform/qt/qt_widgets.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>
#include <limits>

namespace tinctora::qtb {

EditWidget::EditWidget(Registry& registry, QWidget* parent) : QLineEdit(parent), registry_(registry) {
  setFrame(false);
  // The box fills all of itself with its base colour, so what lies under
  // it is not painted first: a frame's text changes then repaint the boxes
  // alone.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setDragEnabled(false);
  setAcceptDrops(false);
  // Qt's default limit (32767 characters) would cut the program's writes.
  setMaxLength(std::numeric_limits<int>::max());
  connect(this, &QLineEdit::textEdited, this, [this] {
    if (registry_.sink != nullptr) registry_.sink->OnEditChanged(id_);
  });
}

void EditWidget::Write(TextView gbk) {
  const QString text = FromGbk(gbk);
  // An unchanged text is not set again, which would cost a relayout; the
  // caret goes to the end all the same.
  if (text == this->text()) {
    setCursorPosition(static_cast<int>(text.size()));
  } else {
    setText(text);
  }
}

void EditWidget::Select(platform::EditRange range) {
  const QString t = text();
  const auto anchor = static_cast<int>(QtPosition(t, range.anchor));
  const auto caret = static_cast<int>(QtPosition(t, range.caret));
  // The caret stands at the far end of a selection made from the anchor.
  setSelection(anchor, caret - anchor);
}

platform::EditRange EditWidget::Selection() const {
  const QString t = text();
  const int caret = cursorPosition();
  int anchor = caret;
  if (hasSelectedText()) anchor = caret == selectionStart() ? selectionEnd() : selectionStart();
  return {GbkOffset(t, anchor), GbkOffset(t, caret)};
}

void EditWidget::BeforeInput() {
  if (registry_.sink != nullptr) registry_.sink->BeforeInput(id_);
}

void EditWidget::Offer(const QString& text, platform::Insertion how) {
  if (isReadOnly() || registry_.sink == nullptr) return;
  const Text gbk = ToGbk(text);
  if (gbk.empty()) return;
  // The program may have rewritten the box since the last character of the
  // same input.
  BeforeInput();
  const std::size_t whole = ToGbk(this->text()).size();
  const std::size_t selected = hasSelectedText() ? ToGbk(selectedText()).size() : 0;
  const std::size_t taken = std::min(registry_.sink->AcceptedBytes(id_, gbk, whole - selected, how), gbk.size());
  if (taken == 0) return;
  insert(FromGbk(TextView(gbk).substr(0, taken)));
}

void EditWidget::PasteFrom(QClipboard::Mode mode) {
  // The whole text is offered: how much of it a box takes is the program's rule.
  Offer(QGuiApplication::clipboard()->text(mode), platform::Insertion::Pasted);
}

bool EditWidget::event(QEvent* event) {
  // The user works on the text the program last wrote.
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
    case QEvent::FocusIn: BeforeInput(); break;
    default: break;
  }
  return QLineEdit::event(event);
}

void EditWidget::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    PasteFrom(QClipboard::Clipboard);
    event->accept();
    return;
  }
  const QString text = event->text();
  const bool command = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
  const bool printable = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
  if (printable && !command) {
    // One character at a time, as the keyboard delivers them.
    for (const char32_t c : text.toUcs4()) Offer(QString::fromUcs4(&c, 1), platform::Insertion::Typed);
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void EditWidget::inputMethodEvent(QInputMethodEvent* event) {
  const QString commit = event->commitString();
  if (commit.isEmpty()) {
    QLineEdit::inputMethodEvent(event);
    return;
  }
  for (const char32_t c : commit.toUcs4()) Offer(QString::fromUcs4(&c, 1), platform::Insertion::Typed);
  event->accept();
}

void EditWidget::mouseReleaseEvent(QMouseEvent* event) {
  // The middle button pastes the primary selection on X11.
  if (event->button() == Qt::MiddleButton) {
    PasteFrom(QClipboard::Selection);
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

// The box's own menu, with Paste going through the program like Ctrl+V.
// The menu runs a modal loop: each entry hands the box what the program
// wrote meanwhile before it acts.
void EditWidget::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  const bool writable = !isReadOnly();
  const bool selection = hasSelectedText();
  const auto add = [this, &menu](const QString& text, QKeySequence::StandardKey key, bool enabled, auto act) {
    QAction* action = menu.addAction(text, [this, act] {
      BeforeInput();
      act();
    });
    action->setShortcut(QKeySequence(key));
    action->setEnabled(enabled);
  };
  add(tr("&Undo"), QKeySequence::Undo, writable && isUndoAvailable(), [this] { undo(); });
  add(tr("&Redo"), QKeySequence::Redo, writable && isRedoAvailable(), [this] { redo(); });
  menu.addSeparator();
  add(tr("Cu&t"), QKeySequence::Cut, writable && selection && echoMode() == Normal, [this] { cut(); });
  add(tr("&Copy"), QKeySequence::Copy, selection && echoMode() == Normal, [this] { copy(); });
  add(tr("&Paste"), QKeySequence::Paste, writable && !QGuiApplication::clipboard()->text().isEmpty(),
      [this] { PasteFrom(QClipboard::Clipboard); });
  add(tr("Delete"), QKeySequence::Delete, writable && selection, [this] { del(); });
  menu.addSeparator();
  add(tr("Select All"), QKeySequence::SelectAll, !text().isEmpty() && selectedText() != text(), [this] { selectAll(); });
  menu.exec(event->globalPos());
}

}  // namespace tinctora::qtb
