// The application object: every event handler of the window runs under it, so
// an exception that escapes a handler goes to the application's handler and
// never crosses the toolkit's event loop. The silent abort is dropped. It
// holds the user interface the dialogs go to, and its idle hook ends the
// connections' kept work whenever the program waits for input.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "dbaccess/component.h"
#include "dm/ui.h"

class TApplication {
 public:
  TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  using ExceptionEvent = std::function<void(dbx::TComponent* sender, const std::exception& e)>;
  // The handler for exceptions that nothing else catches.
  ExceptionEvent OnException;
  // Title shown outside the window (message boxes).
  std::string Title = "consopuntos";

  // The dialogs and the beep: by default lines on standard error.
  [[nodiscard]] UserInterface& Ui() const noexcept { return *ui_; }
  // Installs an implementation (nullptr restores the default); not owned.
  void SetUi(UserInterface* ui) noexcept;
  // A message box with the application's title.
  void MessageBox(const std::string& text) { ui_->MessageBox(Title, text); }

  // Hands an escaped exception to OnException (or, without one, to the
  // error dialog); EAbort is ignored.
  void HandleException(dbx::TComponent* sender, const std::exception& e) noexcept;
  // The same for something thrown that is no exception.
  void HandleUnknownException(dbx::TComponent* sender) noexcept;

  // Runs an event handler; whatever escapes it is handled as above. Then
  // the program waits for input.
  template <class Handler>
  void Run(dbx::TComponent* sender, Handler&& handler) noexcept {
    try {
      handler();
    } catch (const std::exception& e) {
      HandleException(sender, e);
    } catch (...) {
      HandleUnknownException(sender);
    }
    Idle();
  }
  // The idle hook: nothing runs until the next input, so the connections'
  // kept work ends.
  static void Idle() noexcept;

 private:
  ConsoleUi console_;
  UserInterface* ui_ = &console_;
};
