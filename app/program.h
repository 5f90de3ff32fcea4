#pragma once

#include <memory>

#include "context/context.h"
#include "platform/platform.h"
#include "ui/form.h"

namespace tinctora::app {

using context::Context;
using context::State;
using context::Widgets;

// The whole program on one platform: its state, its window and the
// bindings of every handler.
class Program {
 public:
  explicit Program(const platform::Platform& system);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Creates the lists, builds the window (which raises Created) and shows it.
  void Start();
  // Runs the message loop until the window has been destroyed; returns the
  // process exit code.
  int Run();
  // The exit code once the window is gone: always 0.
  int ExitCode() const { return 0; }
  bool Finished() const { return form_.Destroyed(); }

  ui::Form& Form() { return form_; }
  State& GetState() { return state_; }
  ui::HotKeyService& HotKeys() { return hotKeys_; }
  Context& GetContext() { return context_; }

 private:
  void Bind();
  void OnCreated();
  void OnActivated();

  platform::Platform system_;
  State state_;
  ui::Form form_;
  ui::HotKeyService hotKeys_;
  std::unique_ptr<Widgets> widgets_;
  Context context_;
};

}  // namespace tinctora::app
