#include "dm/application.h"

#include <stdexcept>

#include "dbaccess/encoding.h"
#include "dbaccess/errors.h"
#include "dbaccess/stop.h"

TApplication::TApplication() { SetUi(nullptr); }

void TApplication::SetUi(UserInterface* ui) noexcept {
  ui_ = ui != nullptr ? ui : &console_;
  ui_->OnWait = [] { Idle(); };
}

void TApplication::HandleException(dbx::TComponent* sender, const std::exception& e) noexcept {
  if (dynamic_cast<const dbx::EAbort*>(&e) != nullptr) return;
  try {
    if (OnException)
      OnException(sender, e);
    else
      ui_->ErrorDialog(e.what());
  } catch (...) {
  }
}

void TApplication::HandleUnknownException(dbx::TComponent* sender) noexcept {
  using namespace dbx::literals;
  HandleException(sender, std::runtime_error("Excepción desconocida"_l1));
}

void TApplication::Idle() noexcept { dbx::EndIdleWorkEverywhere(); }
