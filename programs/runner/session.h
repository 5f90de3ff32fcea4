#pragma once

// What a running script works on: the simulated desktop, the program on it,
// the answers for the modal choices it opens, and what the run recorded
// (events, kept images, passed and failed expectations).

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/program.h"
#include "platform/headless/desktop.h"
#include "programs/runner/runner.h"
#include "ui/colour_popup.h"
#include "ui/form.h"

namespace tinctora::headless::runner {

// Moves the pointer to a screen point, then presses and releases the button.
void ClickAt(Desktop& desk, Point at, Button button);

// The answers a script gives for the modal choices the program opens. Each
// is queued with the desktop as what the simulated user does when the
// choice opens; the line that gave it is its origin, so an answer nothing
// used is reported there.
class ModalAnswers {
 public:
  using Failure = std::function<void(int line, const std::string& expected, const std::string& got)>;

  struct MenuAnswer {
    int line = 0;
    std::optional<int> index;     // from 0
    std::optional<Text> caption;  // GBK; looked up in the menu shown
  };
  struct PopupAnswer {
    int line = 0;
    ui::ColourPopup::Choice choice;
  };
  struct DialogAnswer {
    int line = 0;
    std::optional<colour::ColourValue> colour;  // nothing: cancel
  };

  ModalAnswers(Desktop& desktop, Failure fail) : desktop_(desktop), fail_(std::move(fail)) {}

  void Queue(const MenuAnswer& mine);
  // The user points at the choice in the open popup and clicks it; Escape
  // closes it without one.
  void Queue(const PopupAnswer& mine);
  void Queue(const DialogAnswer& mine) { desktop_.QueueDialogAnswer(mine.line, mine.colour); }

  // Removes the answers that a line queued (every line's when none is
  // given) and nothing used, naming what should have opened for each.
  std::vector<std::pair<int, std::string>> TakeUnused(std::optional<int> line = std::nullopt);

 private:
  Desktop& desktop_;
  Failure fail_;
};

class Session {
 public:
  enum class EventLog { Off, Delivered, All };

  Session(std::ostream& output, std::ostream& diagnostics, const RunOptions& options);

  Desktop& Desk() { return desktop_; }
  // The count of screen reads at the last `expect screen-reads`.
  std::size_t screenReadsChecked = 0;
  std::size_t nativeWritesChecked = 0;
  int clipboardOpensChecked = 0;
  long long clockChecked = 0;
  ModalAnswers& Answers() { return dialogs_; }
  const RunOptions& Options() const { return options_; }
  bool Started() const { return program_ != nullptr; }
  int Line() const { return line_; }
  void SetLine(int line) { line_ = line; }

  // Refuses the line when there is no program yet.
  app::Program& Program();
  ui::Form& Form() { return Program().Form(); }
  ui::Control& Control(const std::string& name);
  platform::WindowId Handle(const std::string& name);
  // A point of a control's client area in screen coordinates; its centre by default.
  Point ClientToScreen(const std::string& name, std::optional<Point> client);
  // The layout name of the control with this window, or "none".
  std::string NameOf(platform::WindowId handle);

  void Start();

  void SetEventLog(EventLog mode) { eventLog_ = mode; }
  void ClearEvents() { events_.clear(); }
  const std::vector<std::string>& Events() const { return events_; }

  // What a control's client area shows on the screen now.
  Image ClientImage(const std::string& name);
  void KeepImage(const std::string& label, Image image) { kept_[label] = std::move(image); }
  const Image* KeptImage(const std::string& label) const;

  void Fail(int line, const std::string& expected, const std::string& got);
  void Pass() { ++passes_; }
  // Fails every answer that nothing used: the ones `line` gave, or all.
  void ReportUnusedAnswers(std::optional<int> line);
  void Print(const std::string& label, const std::string& value);
  void Error(int line, const std::string& message);
  int Failures() const { return failures_; }
  int Passes() const { return passes_; }

  // Writes the area of the screen (the primary display by default) as PNG.
  void SaveScreen(const std::string& file, std::optional<Rect> area);

 private:
  void Record(const ui::RaisedEvent& e);

  std::ostream& output_;
  std::ostream& diagnostics_;
  RunOptions options_;
  Desktop desktop_;
  ModalAnswers dialogs_;
  std::unique_ptr<app::Program> program_;  // destroyed before the desktop it runs on
  EventLog eventLog_ = EventLog::Delivered;
  std::vector<std::string> events_;
  std::map<std::string, Image> kept_;
  int line_ = 0;
  int failures_ = 0;
  int passes_ = 0;
};

}  // namespace tinctora::headless::runner
