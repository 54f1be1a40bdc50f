// The application object: every event handler of the window runs under it, so
// an exception that escapes a handler goes to the application's handler and
// never crosses the toolkit's event loop. The silent abort is dropped.
#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include "dbaccess/component.h"

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

  // Hands an escaped exception to OnException; EAbort is ignored.
  void HandleException(dbx::TComponent* sender, const std::exception& e) noexcept;
  // The same for something thrown that is no exception.
  void HandleUnknownException(dbx::TComponent* sender) noexcept;

  // Runs an event handler; whatever escapes it is handled as above. Then
  // the program waits for input: the connections' kept work ends.
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
  // Nothing runs until the next input.
  static void Idle() noexcept;
};

// The one application object.
[[nodiscard]] TApplication& Application();
