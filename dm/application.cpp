#include "dm/application.h"

#include <stdexcept>

#include "dbaccess/encoding.h"
#include "dbaccess/errors.h"
#include "dbaccess/sqlconnection.h"
#include "dm/ui.h"

static void DatasetLayerHandler(dbx::TComponent* sender, const std::exception& e) {
  Application().HandleException(sender, e);
}

TApplication::TApplication() { dbx::SetApplicationExceptionHandler(&DatasetLayerHandler); }

void TApplication::HandleException(dbx::TComponent* sender, const std::exception& e) noexcept {
  if (dynamic_cast<const dbx::EAbort*>(&e) != nullptr) return;
  try {
    if (OnException)
      OnException(sender, e);
    else
      Ui().ErrorDialog(e.what());
  } catch (...) {
  }
}

void TApplication::HandleUnknownException(dbx::TComponent* sender) noexcept {
  using namespace dbx::literals;
  HandleException(sender, std::runtime_error("Excepción desconocida"_l1));
}

void TApplication::Idle() noexcept { dbx::EndIdleWorkEverywhere(); }

TApplication& Application() {
  static TApplication app;
  return app;
}
